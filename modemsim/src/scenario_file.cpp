#include "modemsim/scenario_file.h"

#include "builtin_scenarios.h"
#include "control_command.h"
#include "scenario_settings.h"

#include <fstream>
#include <sstream>

namespace modemsim {

ScenarioLoad parseScenario(std::string_view text) {
    Scenario scenario;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (isCommentOrBlank(line)) {
            continue;
        }
        auto where = "line " + std::to_string(lineNumber) + ": ";
        ParsedCommand parsed = parseControlLine(line);
        if (!parsed.ok()) {
            return where + parsed.error();
        }
        const ControlCommand& command = parsed.command();
        if (auto* set = std::get_if<SetCommand>(&command)) {
            auto error = applySetting(scenario.settings, scenario.faults, set->name, set->value);
            if (error) {
                return where + *error;
            }
        } else if (auto* scheduled = std::get_if<ScheduleCommand>(&command)) {
            scenario.script.push_back(scheduled->scripted);
        } else if (std::holds_alternative<StatusCommand>(command) ||
                   std::holds_alternative<ListCommand>(command)) {
            return where + "status and list belong to the control channel";
        } else {
            scenario.script.push_back(
                ScriptedCommand{Trigger::Start, std::chrono::milliseconds(0), std::string(line)});
        }
    }
    return scenario;
}

ScenarioLoad loadScenario(const std::string& nameOrPath) {
    if (auto builtin = builtinScenarioText(nameOrPath)) {
        return parseScenario(*builtin);
    }
    std::ifstream file(nameOrPath);
    if (!file) {
        return "cannot read scenario file " + nameOrPath;
    }
    std::ostringstream text;
    text << file.rdbuf();
    ScenarioLoad loaded = parseScenario(text.str());
    if (auto* error = std::get_if<std::string>(&loaded)) {
        return nameOrPath + ": " + *error;
    }
    return loaded;
}

} // namespace modemsim
