#include "number_reading.h"

#include <limits>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();

} // namespace

std::int32_t readNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulating stops growing once past the 32-bit range, so any number of digits is safe.
    std::int64_t magnitude = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        if (magnitude <= kMax) {
            magnitude = magnitude * 10 + (text[pos] - '0');
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < kMin) {
        return static_cast<std::int32_t>(kMin);
    }
    if (value > kMax) {
        return static_cast<std::int32_t>(kMax);
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t readPortNumber(std::string_view portText) {
    constexpr std::size_t kSkippedPrefix = 3;
    if (portText.size() <= kSkippedPrefix) {
        return 0;
    }
    return readNumber(portText.substr(kSkippedPrefix));
}
