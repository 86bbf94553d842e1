#pragma once

#include "byte_reader.h"
#include "sms/data_coding.h"
#include "sms/result.h"
#include "sms/user_data.h"

namespace sms {

// TP-UDL and TP-UD as they go on the wire; `length` counts septets for GSM 7-bit, else octets.
struct UserDataField {
    std::uint8_t length{0};
    Bytes octets;
};

Result<UserDataField> encodeUserData(const UserData& userData, Alphabet alphabet);

// Reads TP-UDL and TP-UD. `hasHeader` is TP-UDHI of the first octet.
Result<UserData> readUserData(ByteReader& reader, Alphabet alphabet, bool hasHeader);

} // namespace sms
