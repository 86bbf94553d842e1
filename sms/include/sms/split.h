#pragma once

#include "sms/data_coding.h"
#include "sms/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace sms {

/// Width of the concatenation reference the parts will carry; the 16-bit one costs one octet
/// more of header per part.
enum class ReferenceWidth { Bits8, Bits16 };

/// A text cut into the parts of one (possibly concatenated) message.
struct SplitText {
    Alphabet alphabet{Alphabet::Gsm7}; ///< Gsm7 when every character fits, else Ucs2
    std::vector<std::string> parts;    ///< UTF-8, at least one (empty for an empty text)
};

/// Splits UTF-8 text: one part of up to 160 septets or 70 UTF-16 units, else parts of 153 (152)
/// septets or 67 (66) units with an 8-bit (16-bit) reference. An escape pair or a surrogate pair
/// never straddles two parts. Error::TooLong beyond 255 parts. Malformed UTF-8 becomes U+FFFD.
Result<SplitText> splitText(std::string_view utf8, ReferenceWidth width = ReferenceWidth::Bits8);

} // namespace sms
