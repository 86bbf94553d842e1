// Feeds arbitrary octets to every PDU decoder. Besides crashes and sanitizer reports it checks
// one property: whatever decodes and encodes again is a fixed point, i.e. decoding and encoding
// that output gives the same octets. A decoder that misreads a field it wrote breaks it.

#include "sms/hex.h"
#include "sms/pdu.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void checkEncodingIsStable(const sms::ReceivedPdu& decoded) {
    const auto first = sms::encodePdu(decoded.tpdu, decoded.serviceCentre);
    if (!first) {
        return; // decoded fields the encoder refuses (too long, odd addresses): nothing to compare
    }
    const auto again = sms::decodePdu(first->hex, first->tpduLength);
    if (!again) {
        std::abort();
    }
    const auto second = sms::encodePdu(again->tpdu, again->serviceCentre);
    if (!second || second->hex != first->hex || second->tpduLength != first->tpduLength) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const sms::Bytes bytes(data, data + size);
    const std::string hex = sms::toHex(bytes);

    // As +CMGR hands it over: service-centre field first, then as a bare TPDU by its length.
    if (const auto withCentre = sms::decodePdu(hex)) {
        checkEncodingIsStable(*withCentre);
    }
    if (const auto bare = sms::decodePdu(hex, size)) {
        checkEncodingIsStable(*bare);
    }
    (void)sms::decodeTpdu(bytes);

    // The same octets as text, for the hex parser.
    (void)sms::decodePdu(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
