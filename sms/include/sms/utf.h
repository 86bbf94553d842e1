#pragma once

#include "sms/bytes.h"

#include <string>
#include <string_view>

namespace sms {

/// Code points of a UTF-8 text. Malformed sequences (overlong forms, surrogates, truncated
/// sequences, stray continuation bytes) become U+FFFD, one per offending byte run, so any
/// input decodes.
std::u32string utf8ToCodePoints(std::string_view utf8);

/// UTF-8 of code points; values that are not Unicode scalar values become U+FFFD.
std::string codePointsToUtf8(std::u32string_view codePoints);

/// UCS2 as SMS carries it: UTF-16 big-endian, characters beyond U+FFFF as surrogate pairs.
Bytes utf8ToUcs2(std::string_view utf8);

/// Inverse of utf8ToUcs2. An odd trailing octet is dropped; an unpaired surrogate becomes U+FFFD.
std::string ucs2ToUtf8(const Bytes& ucs2);

/// Number of UTF-16 units a code point takes (1, or 2 beyond U+FFFF).
std::size_t utf16UnitsFor(char32_t codePoint);

} // namespace sms
