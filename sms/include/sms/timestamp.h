#pragma once

#include <string>

namespace sms {

/// A service-centre time stamp or discharge time as the service centre sent it: its local time
/// and its offset from UTC. Decoding is lenient (a hex digit above 9 counts as 9) because real
/// service centres send invalid nibbles, so fields may be out of calendar range.
struct Timestamp {
    int year{2000}; ///< two-digit year on the wire: 90-99 → 1990-1999, 00-89 → 2000-2089
    int month{1};
    int day{1};
    int hour{0};
    int minute{0};
    int second{0};
    int utcOffsetQuarterHours{0}; ///< -79..79, quarter hours east of UTC
};

bool operator==(const Timestamp& a, const Timestamp& b);
bool operator!=(const Timestamp& a, const Timestamp& b);

/// "YYYY-MM-DD HH:MM:SS" in the service centre's local time, the offset left out.
std::string formatTimestamp(const Timestamp& timestamp);

} // namespace sms
