#pragma once

#include "byte_reader.h"
#include "sms/address.h"

#include <optional>

namespace sms {

// TP-OA/TP-DA/TP-RA: length in semi-octets, type, value.
Result<Address> readAddress(ByteReader& reader);

// The service-centre field in front of a TPDU: length in octets; zero means none.
Result<std::optional<Address>> readServiceCentre(ByteReader& reader);

} // namespace sms
