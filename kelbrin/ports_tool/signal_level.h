#pragma once

#include <optional>

namespace kelbrin {

/// An AT+CSQ <rssi> as an operator reads it.
struct SignalLevel {
    int dbm = 0;  ///< 27.007 §8.5: -113 + 2 × rssi
    int bars = 0; ///< 0 to 5
    bool weak = false;
};

/// Nothing for 99 (not known) or a value outside 0-31. Bars as the Neoway WM620 AT manual maps
/// <rssi> (§3.1: below 4 none, below 10 one, below 16 two, below 22 three, below 28 four, else
/// five); weak is one bar or none, below -93 dBm, where modem makers' guides call the signal
/// marginal and sending starts to fail.
std::optional<SignalLevel> signalLevel(int rssi);

} // namespace kelbrin
