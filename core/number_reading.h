#pragma once

#include <cstdint>
#include <string_view>

// The decimal integer at the start of @p text: leading white space skipped, an optional sign,
// then digits up to the first non-digit. No digits give 0; a value beyond the 32-bit range is
// clamped to INT32_MIN or INT32_MAX.
std::int32_t readNumber(std::string_view text);

// The port number of a port name such as "COM3": the number reading of what follows the first
// three bytes, which are skipped unexamined. Three bytes or fewer give 0.
std::int32_t readPortNumber(std::string_view portText);
