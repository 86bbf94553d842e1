#pragma once

#include "operator_text.h"

#include <cstdint>
#include <string>

namespace kelbrin {

/// @p mapText with COM<port> mapped to @p path: the port's line replaced in place (a comment at
/// its end kept), or a line added at the end; every other line, comments included, unchanged.
std::string assignPort(const std::string& mapText, int32_t port, const std::string& path);

/// Writes COM<port> = <path> into the map @p file (created with its folder when missing),
/// through a temporary file renamed over it so the library never reads half a map. The operator
/// text of what went wrong, or empty.
OperatorText writePortAssignment(const std::string& file, int32_t port, const std::string& path);

} // namespace kelbrin
