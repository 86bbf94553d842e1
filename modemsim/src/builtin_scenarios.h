#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace modemsim {

// The scenarios shipped in modemsim/scenarios/, built into the program by name ("demo").
std::optional<std::string_view> builtinScenarioText(const std::string& name);

} // namespace modemsim
