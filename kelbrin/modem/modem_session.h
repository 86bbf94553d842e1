#pragma once

#include "at_channel.h"
#include "message_reassembler.h"
#include "serial_port.h"
#include "service_sink.h"
#include "session_memory.h"
#include "session_settings.h"

#include <cstdint>
#include <deque>
#include <string>

namespace sms {
struct Deliver;
}

namespace kelbrin {

struct SubmitPart;

/// The modem dialogue on the worker thread: the handshake of start(), then run() serves sends,
/// indications, stored messages and status reports until a stop or the loss of the port.
class ModemSession {
public:
    ModemSession(AtChannel& channel, WakeSignal& wake, ServiceSink& sink, SessionMemory& memory,
                 SessionSettings settings);

    /// The handshake (ModemHandshake), finished by @p deadline. Empty on success, else the
    /// operator text of what failed.
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

    AtReply command(const std::string& line, const std::string& prefix, Milliseconds timeout);

    void handleUrcs();
    /// Runs the settings again after the modem restarted ("RDY", "SMS Ready", echo back on).
    void restoreSettings();
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
    /// One part through AT+CMGS, again after a temporary network error.
    AtReply sendPart(const std::string& what, const SubmitPart& part);
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
    bool m_acknowledgeRouted = false;  ///< +CSMS service 1 stuck on: AT+CNMA after +CMT/+CDS
    std::string m_indications;         ///< the AT+CNMI arguments the modem took
    bool m_indicationsJustSet = false; ///< no listing since: no need to set them again
    int m_storedMessages = 0;          ///< what the last CPMS or listing found in the memory
    bool m_restarted = false;          ///< the modem restarted: its settings are to be restored
};

} // namespace kelbrin
