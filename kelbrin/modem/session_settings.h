#pragma once

#include "at_channel.h"
#include "serial_port.h"

#include <string>

namespace kelbrin {

/// Every wait the dialogue has, so tests can shorten the slow ones.
struct ModemTimings {
    Milliseconds syncBudget{2500};   ///< ESC + AT until OK; a silent port fails after this
    Milliseconds syncAttempt{300};   ///< one AT of the sync
    Milliseconds command{3000};      ///< ModemManager's timeout for CNMI/CPMS/CMGF
    Milliseconds readMessage{10000}; ///< CMGR/CMGL (ModemManager: 10 s)
    Milliseconds prompt{10000};      ///< the '>' of AT+CMGS, no network involved
    Milliseconds sendResult{60000};  ///< +CMGS after Ctrl-Z, network bound (smstools3: 60 s)
    Milliseconds listPoll{30000};    ///< AT+CMGL=4 catches indications a modem lost
    Milliseconds reassembly{600000}; ///< parts of a message stop being waited for
};

struct SessionSettings {
    PortSettings port;
    std::string storage = "SM"; ///< 27.005 <mem> for reading, writing and receiving
    ModemTimings timings;
};

} // namespace kelbrin
