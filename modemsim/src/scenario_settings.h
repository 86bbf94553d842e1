#pragma once

#include "modemsim/scenario.h"

#include <optional>
#include <string>

namespace modemsim {

// Applies `set <name> <value>` to a scenario's settings or faults. Gives the reason when the
// name is unknown or the value does not fit it.
std::optional<std::string> applySetting(Settings& settings, Faults& faults, const std::string& name,
                                        const std::string& value);

} // namespace modemsim
