#include "sms/validity.h"

namespace sms {
namespace {

constexpr long kHalfDay = 12 * 60;
constexpr long kDay = 24 * 60;
constexpr long kWeek = 7 * kDay;

long ceilDiv(long value, long divisor) {
    return (value + divisor - 1) / divisor;
}

} // namespace

std::uint8_t relativeValidityFor(std::chrono::minutes period) {
    const long minutes = static_cast<long>(period.count());
    long octet = 255;
    if (minutes <= kHalfDay) {
        octet = ceilDiv(minutes, 5) - 1;
    } else if (minutes <= kDay) {
        octet = 143 + ceilDiv(minutes - kHalfDay, 30);
    } else if (minutes <= 30 * kDay) {
        octet = 166 + ceilDiv(minutes, kDay);
    } else if (minutes <= 63 * kWeek) {
        octet = 192 + ceilDiv(minutes, kWeek);
    }
    if (octet < 0) {
        octet = 0;
    }
    return static_cast<std::uint8_t>(octet);
}

std::chrono::minutes relativeValidityPeriod(std::uint8_t octet) {
    if (octet <= 143) {
        return std::chrono::minutes((octet + 1) * 5);
    }
    if (octet <= 167) {
        return std::chrono::minutes(kHalfDay + (octet - 143) * 30);
    }
    if (octet <= 196) {
        return std::chrono::minutes((octet - 166) * kDay);
    }
    return std::chrono::minutes((octet - 192) * kWeek);
}

} // namespace sms
