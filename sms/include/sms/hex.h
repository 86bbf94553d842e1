#pragma once

#include "sms/bytes.h"
#include "sms/result.h"

#include <string>
#include <string_view>

namespace sms {

/// Upper-case hex, two digits per octet, no separators: the form AT+CMGS and +CMGR carry.
std::string toHex(const Bytes& bytes);

/// Accepts upper and lower case. An odd digit count or any non-hex character (spaces included)
/// gives Error::BadHex.
Result<Bytes> fromHex(std::string_view hex);

} // namespace sms
