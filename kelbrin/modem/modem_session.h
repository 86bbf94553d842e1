#pragma once

#include "at_channel.h"
#include "modem_handshake.h"
#include "serial_port.h"
#include "service_sink.h"
#include "session_memory.h"
#include "session_settings.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace sms {
struct Deliver;
struct StatusReport;
} // namespace sms

namespace kelbrin {

struct SubmitPart;

/// The modem dialogue on the worker thread: the handshake of start(), then run() serves sends,
/// indications, stored messages and status reports until a stop or the loss of the port.
///
/// A stored message stays on the modem until the caller has taken it (ServiceSink reports its
/// slots as handed over), and the session reads no more than kReadAhead messages ahead of the
/// caller: what was not handed over when the service stops or the process dies is read again at
/// the next start. A stored status report is deleted once it has been applied or traced.
class ModemSession {
public:
    ModemSession(AtChannel& channel, WakeSignal& wake, ServiceSink& sink, SessionMemory& memory,
                 SessionSettings settings);

    /// The handshake (ModemHandshake), finished by @p deadline. Empty on success, else the
    /// operator text of what failed.
    OperatorText start(Clock::time_point deadline);
    /// Serves until the worker is asked to finish or stop (returns empty) or the port is lost
    /// (returns why). Finishing deletes what the caller took first.
    OperatorText run();

private:
    AtReply command(const std::string& line, Milliseconds timeout);

    void handleUrcs();
    /// Runs the settings again after the modem restarted ("RDY", "SMS Ready", echo back on).
    void restoreSettings();
    void takeHandedOver();
    /// Indicated, or listed while the caller was kReadAhead messages behind.
    void queueRead(const MessageSlot& slot);
    void queueDelete(const MessageSlot& slot);
    /// The first indicated slot that may be read now: reports always, messages while the caller
    /// is less than kReadAhead messages behind.
    std::optional<MessageSlot> nextReadable();
    bool haveRoom();
    /// The receiving memories and the report memory; traces messages no indication announced.
    void listStored();
    /// Takes what @p memory holds; returns how many unread messages no indication named.
    int listMemory(const std::string& memory, bool receiving);
    void takeSettings(const HandshakeResult& result);
    /// Whether a late answer may still reach the next session on this device.
    void rememberOutOfStep();
    void readStored(const MessageSlot& slot);
    void deleteStored(const MessageSlot& slot);
    bool useStorage(const std::string& storage);
    /// Takes one PDU from the modem into the library, routed or read from @p slot.
    void takePdu(const std::string& hex, std::optional<int> tpduLength,
                 const std::optional<MessageSlot>& slot);
    void takeDeliver(const sms::Deliver& deliver, const std::optional<MessageSlot>& slot);
    void takeReport(const sms::StatusReport& report, const std::optional<MessageSlot>& slot);
    /// False for a copy of a message the library already took.
    bool isNew(const std::string& key, const std::optional<MessageSlot>& slot);
    void send(const SendJob& job);
    /// One part through AT+CMGS, again after a temporary network error.
    AtReply sendPart(const OperatorText& what, const SubmitPart& part);
    void deliverExpired();
    Milliseconds idleWait() const;

    AtChannel& m_channel;
    WakeSignal& m_wake;
    ServiceSink& m_sink;
    SessionMemory& m_memory;
    SessionSettings m_settings;
    const std::string m_device; ///< SerialPort::deviceInstance of the port
    std::string m_currentStorage;
    std::deque<MessageSlot> m_toRead;
    std::deque<MessageSlot> m_toDelete;
    Clock::time_point m_nextList{};
    bool m_messageServiceSettled = false; ///< +CSMS asked since the settings were made
    bool m_acknowledgeRouted = false;     ///< +CSMS service 1 stuck on: AT+CNMA after +CMT/+CDS
    std::string m_indications;            ///< the AT+CNMI arguments the modem took
    bool m_indicationsJustSet = false;    ///< no listing since: no need to set them again
    int m_storedMessages = 0;             ///< what the last CPMS or listing found in the memory
    bool m_restarted = false;             ///< the modem restarted: its settings are to be restored
    std::vector<std::string> m_memories;  ///< to list, the receiving one first
    std::string m_reportMemory;           ///< where a +CDSI said reports are stored
    int m_receiveCapacity = 0;
    bool m_firstListing = true;              ///< finds the backlog, announced or not
    bool m_toldIndicationsElsewhere = false; ///< traced once per session
};

} // namespace kelbrin
