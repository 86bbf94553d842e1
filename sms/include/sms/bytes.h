#pragma once

#include <cstdint>
#include <vector>

namespace sms {

/// Raw octets: a TPDU, a user data field, a run of unpacked septets.
using Bytes = std::vector<std::uint8_t>;

} // namespace sms
