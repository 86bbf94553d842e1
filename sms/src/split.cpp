#include "sms/split.h"

#include "sms/gsm7.h"
#include "sms/utf.h"

#include <algorithm>

namespace sms {
namespace {

constexpr std::size_t kMaxParts = 255;

struct PartLimits {
    std::size_t single;  // room when the text fits one message
    std::size_t perPart; // room left beside a concatenation header
};

PartLimits limitsFor(Alphabet alphabet, ReferenceWidth width) {
    const bool wide = width == ReferenceWidth::Bits16;
    if (alphabet == Alphabet::Gsm7) {
        return {160, wide ? 152u : 153u};
    }
    return {70, wide ? 66u : 67u};
}

} // namespace

Result<SplitText> splitText(std::string_view utf8, ReferenceWidth width) {
    const std::u32string text = utf8ToCodePoints(utf8);
    const bool gsm7 =
        std::all_of(text.begin(), text.end(), [](char32_t c) { return gsm7SeptetsFor(c) > 0; });
    SplitText split;
    split.alphabet = gsm7 ? Alphabet::Gsm7 : Alphabet::Ucs2;
    // Cost in septets or UTF-16 units of a whole character: an escape pair or a surrogate pair
    // is one indivisible step, so no cut can fall inside one.
    const auto cost = [gsm7](char32_t c) { return gsm7 ? gsm7SeptetsFor(c) : utf16UnitsFor(c); };

    const PartLimits limits = limitsFor(split.alphabet, width);
    std::size_t total = 0;
    for (char32_t c : text) {
        total += cost(c);
    }
    if (total <= limits.single) {
        split.parts.push_back(codePointsToUtf8(text));
        return split;
    }
    std::u32string part;
    std::size_t used = 0;
    for (char32_t c : text) {
        if (used + cost(c) > limits.perPart) {
            split.parts.push_back(codePointsToUtf8(part));
            part.clear();
            used = 0;
        }
        part += c;
        used += cost(c);
    }
    split.parts.push_back(codePointsToUtf8(part));
    if (split.parts.size() > kMaxParts) {
        return Error::TooLong;
    }
    return split;
}

} // namespace sms
