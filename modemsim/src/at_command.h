#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// An extended command ("+NAME") in one of its four forms (ITU-T V.250 §5.3).
struct AtCommand {
    enum class Form { Execute, Read, Test, Set };
    std::string name; // upper case, with its '+', e.g. "+CMGS"
    Form form{Form::Execute};
    std::string arguments; // what follows '=', as sent
};

// The part of a command line after "AT" when it starts with '+'; nothing when the name is empty.
std::optional<AtCommand> parseExtendedCommand(std::string_view body);

// Comma-separated arguments; quotes group commas and are removed; blanks around an argument are
// dropped. "" gives no arguments; "1,,2" gives "1", "", "2".
std::vector<std::string> splitArguments(std::string_view arguments);

} // namespace modemsim
