#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelbrin {

/// The longest prefix of @p text that fits @p room bytes and ends on a UTF-8 character
/// boundary (never inside a multi-byte sequence).
std::size_t utf8PrefixLength(std::string_view text, std::size_t room);

/// Replaces each NUL byte (a U+0000 in a UCS2 message) with U+FFFD: readers of the C records
/// stop at the first NUL, and the text after it would be lost to them.
void replaceNulCharacters(std::string& text);

/// Fills a fixed text field of @p width bytes: zeroes it, copies the longest prefix that leaves
/// room for the NUL and ends on a character boundary, and returns how many bytes it took.
std::size_t writeTextField(std::string_view text, char* field, std::size_t width);

} // namespace kelbrin
