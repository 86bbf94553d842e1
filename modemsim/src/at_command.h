#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// An extended command ("+NAME", or a Huawei "^NAME") in one of its four forms (V.250 §5.3).
struct AtCommand {
    enum class Form { Execute, Read, Test, Set };
    std::string name; // upper case, with its '+' or '^', e.g. "+CMGS"
    Form form{Form::Execute};
    std::string arguments; // what follows '=', as sent
};

// '+' (V.250) or '^' (Huawei) starts an extended command.
bool isExtendedPrefix(char c);

// The part of a command line after "AT" when it starts with '+' or '^'; nothing when the name is
// empty.
std::optional<AtCommand> parseExtendedCommand(std::string_view body);

// A command line's body (after "AT") cut into its commands: runs of basic commands ("E0V1") and
// extended commands ("+CMEE=1"), which V.250 §5.4 separates with ';' (after an extended one).
// "E0+CMEE=1;+CREG=2" gives "E0", "+CMEE=1", "+CREG=2". Quoted text is kept whole.
std::vector<std::string> splitCommandLine(std::string_view body);

// A decimal argument; nothing when it is not one.
std::optional<int> toInt(std::string_view text);

// Comma-separated arguments; quotes group commas and are removed; blanks around an argument are
// dropped. "" gives no arguments; "1,,2" gives "1", "", "2".
std::vector<std::string> splitArguments(std::string_view arguments);

} // namespace modemsim
