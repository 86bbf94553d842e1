#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <termios.h>

namespace kelbrin {

/// The termios speed constant for a line speed in bit/s; nothing for a speed termios has no
/// constant for (the driver would silently pick another one).
std::optional<speed_t> baudRateConstant(int32_t baud);

/// "300, 600, ..., 4000000": the speeds baudRateConstant() accepts, for error texts.
std::string supportedBaudRates();

} // namespace kelbrin
