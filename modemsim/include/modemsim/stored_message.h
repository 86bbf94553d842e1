#pragma once

#include <cstddef>
#include <string>

namespace modemsim {

// <stat> of +CMGL/+CMGR in PDU mode (3GPP TS 27.005 §3.1).
enum class MessageStat {
    ReceivedUnread = 0,
    ReceivedRead = 1,
    StoredUnsent = 2,
    StoredSent = 3,
};

// One slot of the modem's message memory.
struct StoredMessage {
    std::string memory; // "SM", "ME" or "SR"
    int index{0};
    MessageStat stat{MessageStat::ReceivedUnread};
    std::string pdu; // hex, service-centre field included
    std::size_t tpduLength{0};
};

} // namespace modemsim
