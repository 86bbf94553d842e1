#pragma once

#include "at_event.h"
#include "at_reader.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kelbrin {

class ByteTrace;
class SerialPort;
class WakeSignal;

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

struct AtCommand {
    std::string line; ///< without the CR
    std::string responsePrefix;
    Milliseconds timeout{3000};
    /// Wavecom answers AT+CPIN? with "+CPIN: READY" and no OK: accept the information line alone
    /// once the modem has been quiet for a moment.
    bool finalMayBeMissing = false;
};

/// How a command ended.
enum class AtOutcome {
    Final,    ///< the modem answered with a final result (see AtReply::final)
    NoPrompt, ///< AT+CMGS got no prompt in time; the command was cancelled with ESC
    Timeout,  ///< no final result in time
    PortLost, ///< the device went away (hang-up, EIO, unplugged)
    Stopped,  ///< the service is stopping
};

struct AtReply {
    AtOutcome outcome = AtOutcome::Timeout;
    FinalKind final = FinalKind::Error;
    std::optional<int> errorCode;
    std::string finalLine;
    std::vector<AtEvent> responses;
    bool prompted = false; ///< AT+CMGS only: the prompt came

    bool ok() const { return outcome == AtOutcome::Final && final == FinalKind::Ok; }
    const AtEvent* firstResponse() const { return responses.empty() ? nullptr : &responses[0]; }
};

/// One command at a time over the port, on the thread that owns it: writes the command, feeds
/// what comes back to the AtReader, and returns when the command ends, times out, the port is
/// lost or a stop is requested. Unsolicited codes that arrive on the way are kept for the caller
/// (takeUrcs()), whenever they come: between commands, inside a reply, before the prompt.
class AtChannel {
public:
    AtChannel(SerialPort& port, WakeSignal& wake, ByteTrace& trace);

    AtReply execute(const AtCommand& command);
    /// AT+CMGS=<length>, the PDU after the prompt, then the result (27.005 §3.5.1).
    AtReply sendPdu(int length, const std::string& pdu, Milliseconds promptTimeout,
                    Milliseconds resultTimeout);
    /// Writes bytes that expect no answer (ESC to cancel a prompt left open by a crashed run).
    bool writeRaw(const std::string& bytes);
    /// Reads whatever the modem sends for up to @p timeout, returning early on a wake-up or as
    /// soon as an unsolicited code is complete.
    void waitForActivity(Milliseconds timeout);

    std::vector<AtEvent> takeUrcs();
    bool portLost() const { return !m_lostReason.empty(); }
    const std::string& lostReason() const { return m_lostReason; }

private:
    enum class PumpResult { Data, Idle, Woken, Lost };
    PumpResult pump(Clock::time_point deadline);
    bool writeAll(const std::string& bytes, Clock::time_point deadline);
    /// Why writeAll() gave up: a stop or a lost port is not a modem that timed out.
    AtOutcome writeFailure() const;
    /// Handles queued events up to the command's final (or the prompt); true when it came.
    bool collectReply(AtReply& reply, bool stopAtPrompt);
    void moveEventsToUrcs();
    AtReply waitForReply(Clock::time_point deadline, bool stopAtPrompt, bool finalMayBeMissing);
    void discardLateOutput();

    SerialPort& m_port;
    WakeSignal& m_wake;
    ByteTrace& m_trace;
    AtReader m_reader;
    std::deque<AtEvent> m_events;
    std::vector<AtEvent> m_urcs;
    std::string m_lostReason;
};

} // namespace kelbrin
