#pragma once

#include <cstdint>

namespace sms {

/// How user data is coded. Compressed text, which nobody decompresses, counts as Data8.
enum class Alphabet { Gsm7, Data8, Ucs2 };

/// The alphabet a TP-DCS octet selects (3GPP TS 23.038 §4): general data coding groups,
/// message-waiting groups, the F0 data class group; reserved groups fall back to GSM 7-bit as
/// that clause asks.
Alphabet alphabetOf(std::uint8_t dataCodingScheme);

/// The plain DCS for an alphabet, no class: 0x00, 0x04 or 0x08.
std::uint8_t dataCodingFor(Alphabet alphabet);

} // namespace sms
