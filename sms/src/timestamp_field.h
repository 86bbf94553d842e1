#pragma once

#include "byte_reader.h"
#include "sms/result.h"
#include "sms/timestamp.h"

namespace sms {

// Seven swapped-nibble BCD octets: YY MM DD hh mm ss and the zone in quarter hours.
Result<Timestamp> readTimestamp(ByteReader& reader);
void appendTimestamp(Bytes& out, const Timestamp& timestamp);

} // namespace sms
