#pragma once

#include "sms/address.h"
#include "sms/result.h"
#include "sms/tpdu.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sms {

/// A PDU ready for AT+CMGS (or for a modem's +CMGR/+CMT/+CDS line): hex of the service-centre
/// field and the TPDU, and the TPDU length in octets that the AT command's <length> carries.
struct OutgoingPdu {
    std::string hex;
    std::size_t tpduLength{0};
};

/// Hex "[SCA][TPDU]". Without a service centre the field is "00" (the modem's default centre),
/// as AT+CMGS expects. Errors as encodeTpdu and encodeServiceCentre.
Result<OutgoingPdu> encodePdu(const Tpdu& tpdu,
                              const std::optional<Address>& serviceCentre = std::nullopt);

/// A PDU as an AT modem handed it over.
struct ReceivedPdu {
    std::optional<Address> serviceCentre; ///< empty when absent or "00"
    /// Octets after the service-centre field, trailing padding included. A modem checking
    /// AT+CMGS=<n> compares this with n.
    std::size_t tpduOctets{0};
    Tpdu tpdu;
};

/// Decodes hex "[SCA][TPDU]" as +CMGR, +CMGL, +CMT, +CDS and AT+CMGS carry it. When
/// `tpduLength` (the AT <length>) equals the whole PDU there is no service-centre field;
/// otherwise, or without a length, the first octet is the service-centre length.
Result<ReceivedPdu> decodePdu(std::string_view hex,
                              std::optional<std::size_t> tpduLength = std::nullopt);

} // namespace sms
