#pragma once

#include <cstdint>

namespace sms {

/// What a TP-Status octet of a status report means for the message it reports on
/// (3GPP TS 23.040 §9.2.3.15).
enum class StatusClass {
    Delivered,   ///< 0x00-0x1F: transaction completed
    StillTrying, ///< 0x20-0x3F: temporary error, the service centre keeps trying
    Failed,      ///< 0x40-0x7F: permanent error, or temporary error and the centre gave up
    Reserved,    ///< 0x80-0xFF: no meaning defined; the caller decides
};

StatusClass classifyStatus(std::uint8_t status);

} // namespace sms
