#pragma once

#include "at_channel.h"
#include "message_reassembler.h"
#include "serial_port.h"
#include "service_sink.h"
#include "session_memory.h"

#include <cstdint>
#include <deque>
#include <string>

namespace sms {
struct Deliver;
}

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

/// The modem dialogue on the worker thread: the handshake of start(), then run() serves sends,
/// indications, stored messages and status reports until a stop or the loss of the port.
class ModemSession {
public:
    ModemSession(AtChannel& channel, WakeSignal& wake, ServiceSink& sink, SessionMemory& memory,
                 SessionSettings settings);

    /// The handshake (ESC, AT until OK, echo off, numeric errors, SIM, PDU mode, storage, +CSMS,
    /// indications, service centre, registration), finished by @p deadline. Empty on success,
    /// else the operator text of what failed.
    std::string start(Clock::time_point deadline);
    /// Serves until a stop is requested (returns empty) or the port is lost (returns why).
    std::string run();
    /// Hands out the parts still waiting for their siblings, marked incomplete.
    void flushIncomplete();

private:
    struct StoredRef {
        std::string storage;
        int index = 0;
    };

    AtReply command(const std::string& line, const std::string& prefix, Milliseconds timeout,
                    bool finalMayBeMissing = false);
    /// Repeats a command the modem answers with "SIM busy" / "init in progress", backing off.
    AtReply commandRetryingBusy(const std::string& line, const std::string& prefix,
                                Clock::time_point deadline, bool finalMayBeMissing = false);
    std::string portName() const;
    std::string syncWithModem(Clock::time_point deadline);
    std::string checkSim(Clock::time_point deadline);
    std::string selectStorage(Clock::time_point deadline);
    std::string selectMessageService(Clock::time_point deadline);
    std::string enableIndications(Clock::time_point deadline);
    std::string checkServiceCentre(Clock::time_point deadline);
    std::string checkRegistration(Clock::time_point deadline);

    void handleUrcs();
    void listStored();
    void readStored(const StoredRef& stored);
    void deleteStored(const StoredRef& stored);
    bool useStorage(const std::string& storage);
    /// Takes one PDU from the modem into the library, routed or read from @p slot.
    void takePdu(const std::string& hex, std::optional<int> tpduLength,
                 const std::optional<StoredRef>& slot);
    void takeDeliver(const sms::Deliver& deliver, const std::optional<StoredRef>& slot);
    /// False for a copy of a message the library already took.
    bool isNew(const std::string& key, const std::optional<StoredRef>& slot);
    void send(const SendJob& job);
    void deliverExpired(bool all);
    Milliseconds idleWait() const;

    AtChannel& m_channel;
    WakeSignal& m_wake;
    ServiceSink& m_sink;
    SessionMemory& m_memory;
    SessionSettings m_settings;
    std::string m_currentStorage;
    std::deque<StoredRef> m_toRead;
    std::deque<StoredRef> m_toDelete;
    Clock::time_point m_nextList{};
    MessageReassembler m_reassembler;
    bool m_acknowledgeRouted = false; ///< +CSMS service 1 stuck on: AT+CNMA after +CMT/+CDS
};

} // namespace kelbrin
