#pragma once

#include "sms/bytes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sms {

/// The escape septet that selects the extension table for the next septet.
inline constexpr std::uint8_t kGsm7Escape = 0x1B;

/// Septets (0..127, one per octet, not packed) for a UTF-8 text in the GSM 7-bit default
/// alphabet; extension characters (€ [ ] { } \ ^ ~ | and form feed) become an escape pair.
/// nullopt when any character is in neither table.
std::optional<Bytes> utf8ToGsm7(std::string_view utf8);

/// UTF-8 of unpacked septets. An escape before a code the extension table lacks shows the
/// default-table character (3GPP TS 23.038 §6.2.1.1); escape-escape and a trailing escape show a
/// space.
std::string gsm7ToUtf8(const Bytes& septets);

/// Septets a code point costs: 1 in the default table, 2 in the extension table, 0 if neither.
std::size_t gsm7SeptetsFor(char32_t codePoint);

/// Packs septets LSB first, 8 septets into 7 octets, after `fillBits` zero bits (0..6) that align
/// the text to a septet boundary behind a user data header.
Bytes packSeptets(const Bytes& septets, unsigned fillBits = 0);

/// Unpacks up to `count` septets from `packed`, skipping `fillBits` leading bits. Reads only
/// what `packed` holds: fewer septets come back when it is too short.
Bytes unpackSeptets(const Bytes& packed, std::size_t count, unsigned fillBits = 0);

} // namespace sms
