#include "sms/utf.h"

namespace sms {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}
bool isScalarValue(char32_t c) {
    return c <= 0x10FFFF && !isSurrogate(c);
}

void appendUnit(Bytes& out, unsigned unit) {
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
}

} // namespace

std::u32string utf8ToCodePoints(std::string_view utf8) {
    std::u32string codePoints;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        std::size_t length = 1;
        char32_t value = lead;
        char32_t smallest = 0;
        if (lead >= 0xC0 && lead < 0xE0) {
            length = 2;
            value = lead & 0x1Fu;
            smallest = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            value = lead & 0x0Fu;
            smallest = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF8) {
            length = 4;
            value = lead & 0x07u;
            smallest = 0x10000;
        } else if (lead >= 0x80) {
            codePoints += kReplacement;
            ++i;
            continue;
        }
        std::size_t taken = 1;
        while (taken < length && i + taken < utf8.size()) {
            const auto next = static_cast<std::uint8_t>(utf8[i + taken]);
            if ((next & 0xC0) != 0x80) {
                break;
            }
            value = (value << 6) | (next & 0x3Fu);
            ++taken;
        }
        const bool complete = taken == length;
        codePoints += complete && value >= smallest && isScalarValue(value) ? value : kReplacement;
        i += taken;
    }
    return codePoints;
}

std::string codePointsToUtf8(std::u32string_view codePoints) {
    std::string utf8;
    for (char32_t c : codePoints) {
        if (!isScalarValue(c)) {
            c = kReplacement;
        }
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

Bytes utf8ToUcs2(std::string_view utf8) {
    Bytes ucs2;
    for (char32_t c : utf8ToCodePoints(utf8)) {
        if (c >= 0x10000) {
            const char32_t offset = c - 0x10000;
            appendUnit(ucs2, 0xD800 + (offset >> 10));
            appendUnit(ucs2, 0xDC00 + (offset & 0x3FF));
        } else {
            appendUnit(ucs2, c);
        }
    }
    return ucs2;
}

std::string ucs2ToUtf8(const Bytes& ucs2) {
    std::u32string codePoints;
    const std::size_t units = ucs2.size() / 2;
    auto unitAt = [&ucs2](std::size_t index) -> char32_t {
        return static_cast<char32_t>(ucs2[2 * index] << 8 | ucs2[2 * index + 1]);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char32_t next = unitAt(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                codePoints += 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
                continue;
            }
        }
        codePoints += isSurrogate(unit) ? kReplacement : unit;
    }
    return codePointsToUtf8(codePoints);
}

std::size_t utf16UnitsFor(char32_t codePoint) {
    return codePoint >= 0x10000 ? 2 : 1;
}

} // namespace sms
