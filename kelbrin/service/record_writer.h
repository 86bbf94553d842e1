#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelbrin {

/// The longest prefix of @p text that fits @p room bytes and ends on a UTF-8 character
/// boundary (never inside a multi-byte sequence).
std::size_t utf8PrefixLength(std::string_view text, std::size_t room);

/// Fills a fixed text field of @p width bytes: zeroes it, copies the longest prefix that leaves
/// room for the NUL and ends on a character boundary, and returns how many bytes it took.
std::size_t writeTextField(std::string_view text, char* field, std::size_t width);

} // namespace kelbrin
