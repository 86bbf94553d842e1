#pragma once

#include "at_channel.h"
#include "serial_port.h"

#include <string>

namespace kelbrin {

/// Every wait the dialogue has, so tests can shorten the slow ones.
struct ModemTimings {
    Milliseconds syncBudget{2500}; ///< ESC + AT until OK; a silent port fails after this
    /// The first line of the sync: a modem waking from USB suspend answers it up to 1.5 s late
    /// (Huawei E173, asterisk-chan-dongle issue 97); waiting for that beats resynchronising.
    Milliseconds syncFirstAttempt{2000};
    Milliseconds syncAttempt{1000};   ///< every later line of the sync
    Milliseconds command{3000};       ///< ModemManager's timeout for CNMI/CPMS/CMGF
    Milliseconds readMessage{10000};  ///< CMGR, and CMGL of an empty memory (ModemManager: 10 s)
    Milliseconds listPerMessage{200}; ///< added to the CMGL timeout per stored message
    Milliseconds prompt{20000};       ///< the '>' of AT+CMGS, no network involved
    Milliseconds sendResult{180000};  ///< +CMGS after Ctrl-Z: networks take up to 120 s (Quectel);
                                      ///< ModemManager waits 300 s (mm-base-sms.h)
    Milliseconds listPoll{30000};     ///< AT+CMGL=4 catches indications a modem lost
    Milliseconds reassembly{600000};  ///< parts of a message stop being waited for
    Milliseconds restore{60000};      ///< setting up a modem that restarted or came back
    Milliseconds reconnect{60000};    ///< how long a send waits for a lost modem to come back
};

struct SessionSettings {
    PortSettings port;
    std::string storage = "SM"; ///< 27.005 <mem> for reading, writing and receiving
    ModemTimings timings;
};

} // namespace kelbrin
