#pragma once

#include "sms/bytes.h"
#include "sms/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sms {

/// Type-of-address octets (3GPP TS 23.040 §9.1.2.5) that the codec writes itself.
inline constexpr std::uint8_t kTypeInternational = 0x91;
inline constexpr std::uint8_t kTypeUnknown = 0x81;
inline constexpr std::uint8_t kTypeNational = 0xA1;
inline constexpr std::uint8_t kTypeAlphanumeric = 0xD0;

/// An originator, destination, recipient or service-centre address.
struct Address {
    /// International numbers carry a leading '+'; other numbers are digits and * # a b c;
    /// alphanumeric addresses (type of number 5) are UTF-8 text.
    std::string text;
    /// The type-of-address octet as on the wire; its bits 6-4 (type of number) decide how
    /// `text` is encoded.
    std::uint8_t type{kTypeUnknown};
};

bool operator==(const Address& a, const Address& b);
bool operator!=(const Address& a, const Address& b);

/// An address for what an operator typed: "+4477..." is international, plain digits (and * #)
/// unknown-type, anything else alphanumeric. Spaces, dashes and parentheses are not removed.
Address makeAddress(std::string_view text);

/// TP-OA/TP-DA/TP-RA form: length in digits (semi-octets for alphanumeric), type, swapped-nibble
/// digits with F fill. Error::BadAddress for a character the type cannot carry, more than 20
/// digits or more than 11 alphanumeric septets.
Result<Bytes> encodeAddress(const Address& address);

/// Service-centre form as the AT layer prefixes it: length in octets (type included), type,
/// digits. Same errors as encodeAddress.
Result<Bytes> encodeServiceCentre(const Address& address);

} // namespace sms
