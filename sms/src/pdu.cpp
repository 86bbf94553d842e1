#include "sms/pdu.h"

#include "address_field.h"
#include "byte_reader.h"
#include "sms/hex.h"

namespace sms {

Result<OutgoingPdu> encodePdu(const Tpdu& tpdu, const std::optional<Address>& serviceCentre) {
    auto tpduOctets = encodeTpdu(tpdu);
    if (!tpduOctets) {
        return tpduOctets.error();
    }
    Bytes pdu{0x00};
    if (serviceCentre) {
        auto field = encodeServiceCentre(*serviceCentre);
        if (!field) {
            return field.error();
        }
        pdu = std::move(*field);
    }
    pdu.insert(pdu.end(), tpduOctets->begin(), tpduOctets->end());
    return OutgoingPdu{toHex(pdu), tpduOctets->size()};
}

Result<ReceivedPdu> decodePdu(std::string_view hex, std::optional<std::size_t> tpduLength) {
    auto bytes = fromHex(hex);
    if (!bytes) {
        return bytes.error();
    }
    std::optional<Address> serviceCentre;
    Bytes tpdu;
    if (tpduLength && *tpduLength == bytes->size()) {
        tpdu = std::move(*bytes);
    } else {
        ByteReader reader(*bytes);
        auto field = readServiceCentre(reader);
        if (!field) {
            return field.error();
        }
        serviceCentre = std::move(*field);
        tpdu = reader.rest();
    }
    auto message = decodeTpdu(tpdu);
    if (!message) {
        return message.error();
    }
    return ReceivedPdu{std::move(serviceCentre), tpdu.size(), std::move(*message)};
}

} // namespace sms
