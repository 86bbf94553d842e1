#include "signal_level.h"

#include <array>

namespace kelbrin {

std::optional<SignalLevel> signalLevel(int rssi) {
    if (rssi < 0 || rssi > 31) {
        return std::nullopt;
    }
    static constexpr std::array<int, 5> kBarStarts{4, 10, 16, 22, 28};
    SignalLevel level;
    level.dbm = -113 + 2 * rssi;
    for (const int start : kBarStarts) {
        level.bars += rssi >= start ? 1 : 0;
    }
    level.weak = level.bars <= 1;
    return level;
}

} // namespace kelbrin
