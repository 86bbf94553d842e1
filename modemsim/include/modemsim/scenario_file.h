#pragma once

#include "modemsim/scenario.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace modemsim {

// A scenario, or why its text is wrong ("line 4: unknown setting 'foo'").
using ScenarioLoad = std::variant<Scenario, std::string>;

// Scenario text: one control command per line (docs/modemsim.md). `set` lines shape the
// starting behaviour; every other command is kept as a script entry that runs at start, or at
// its `at`/`on-cnmi` time.
ScenarioLoad parseScenario(std::string_view text);

// A built-in scenario by name ("demo", a modem personality), else the file at that path.
ScenarioLoad loadScenario(const std::string& nameOrPath);

// Every built-in scenario: "demo" and the personalities of modemsim/scenarios/.
std::vector<std::string> builtinScenarioNames();

} // namespace modemsim
