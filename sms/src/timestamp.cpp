#include "sms/timestamp.h"

#include "timestamp_field.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sms {
namespace {

constexpr int kMaxOffsetQuarterHours = 79;

// A nibble above 9 counts as 9: some service centres send them (a Kenyan SMSC's zone octet E1).
int digit(unsigned nibble) {
    return static_cast<int>(std::min(nibble, 9u));
}

// Swapped-nibble BCD: the low nibble holds the tens.
int swappedBcd(std::uint8_t octet) {
    return digit(octet & 0x0Fu) * 10 + digit(octet >> 4u);
}

std::uint8_t toSwappedBcd(int value) {
    const int clamped = std::clamp(value, 0, 99);
    return static_cast<std::uint8_t>((clamped % 10) << 4 | clamped / 10);
}

} // namespace

bool operator==(const Timestamp& a, const Timestamp& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second &&
           a.utcOffsetQuarterHours == b.utcOffsetQuarterHours;
}
bool operator!=(const Timestamp& a, const Timestamp& b) {
    return !(a == b);
}

std::string formatTimestamp(const Timestamp& timestamp) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", timestamp.year,
                  timestamp.month, timestamp.day, timestamp.hour, timestamp.minute,
                  timestamp.second);
    return text;
}

Result<Timestamp> readTimestamp(ByteReader& reader) {
    const auto octets = reader.octets(7);
    if (!octets) {
        return Error::Truncated;
    }
    const Bytes& o = *octets;
    Timestamp timestamp;
    const int year = swappedBcd(o[0]);
    timestamp.year = year >= 90 ? 1900 + year : 2000 + year;
    timestamp.month = swappedBcd(o[1]);
    timestamp.day = swappedBcd(o[2]);
    timestamp.hour = swappedBcd(o[3]);
    timestamp.minute = swappedBcd(o[4]);
    timestamp.second = swappedBcd(o[5]);
    // Bit 3 of the zone octet is the sign; the remaining bits of that nibble are the tens.
    const int quarters = digit(o[6] & 0x07u) * 10 + digit(o[6] >> 4u);
    timestamp.utcOffsetQuarterHours = (o[6] & 0x08) != 0 ? -quarters : quarters;
    return timestamp;
}

void appendTimestamp(Bytes& out, const Timestamp& timestamp) {
    out.push_back(toSwappedBcd(timestamp.year % 100));
    out.push_back(toSwappedBcd(timestamp.month));
    out.push_back(toSwappedBcd(timestamp.day));
    out.push_back(toSwappedBcd(timestamp.hour));
    out.push_back(toSwappedBcd(timestamp.minute));
    out.push_back(toSwappedBcd(timestamp.second));
    const int offset = std::clamp(timestamp.utcOffsetQuarterHours, -kMaxOffsetQuarterHours,
                                  kMaxOffsetQuarterHours);
    const std::uint8_t zone = toSwappedBcd(std::abs(offset));
    out.push_back(static_cast<std::uint8_t>(offset < 0 ? zone | 0x08 : zone));
}

} // namespace sms
