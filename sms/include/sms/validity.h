#pragma once

#include <chrono>
#include <cstdint>

namespace sms {

/// The relative TP-VP octet (3GPP TS 23.040 §9.2.3.12.1) that covers at least `period`, capped
/// at 63 weeks: 5 min steps to 12 h, 30 min steps to 24 h, days to 30 days, then weeks.
std::uint8_t relativeValidityFor(std::chrono::minutes period);

/// The period a relative TP-VP octet stands for.
std::chrono::minutes relativeValidityPeriod(std::uint8_t octet);

} // namespace sms
