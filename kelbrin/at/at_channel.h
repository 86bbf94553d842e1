#pragma once

#include "answer_rule.h"
#include "at_event.h"
#include "at_reader.h"
#include "operator_text.h"

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelbrin {

class ByteTrace;
class SerialPort;
class WakeSignal;

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

struct AtCommand {
    std::string line; ///< without the CR; what its answer must say follows from it (answerRuleFor)
    Milliseconds timeout{3000};
    /// Wavecom answers AT+CPIN? with "+CPIN: READY" and no OK: accept the information line alone
    /// once the modem has been quiet for a moment.
    bool finalMayBeMissing = false;
    /// A hard end for the command, the resynchronisation before it included (the start-up
    /// deadline); the timeout still counts from when the command goes out.
    Clock::time_point notAfter = Clock::time_point::max();
};

/// How a command ended.
enum class AtOutcome {
    Final,    ///< the modem answered with a final result (see AtReply::final)
    NoPrompt, ///< AT+CMGS got no prompt in time; the command was cancelled with ESC
    /// AT+CMGS got OK where its prompt should be: an earlier command's answer. A prompt that
    /// still comes is ended with ESC before the next command.
    AnsweredBeforePrompt,
    /// The modem's answers stayed those of earlier commands: the channel could not get back in
    /// step in time (see resynchronise()).
    OutOfStep,
    Timeout,   ///< no final result in time
    Restarted, ///< the modem announced a restart ("RDY") while the command waited
    PortLost,  ///< the device went away (hang-up, EIO, unplugged)
    Stopped,   ///< the service is stopping
};

struct AtReply {
    AtOutcome outcome = AtOutcome::Timeout;
    FinalKind final = FinalKind::Error;
    std::optional<int> errorCode;
    std::string finalLine;
    std::vector<AtEvent> responses;
    bool prompted = false; ///< AT+CMGS only: the prompt came and the PDU went out

    bool ok() const { return outcome == AtOutcome::Final && final == FinalKind::Ok; }
    const AtEvent* firstResponse() const { return responses.empty() ? nullptr : &responses[0]; }
};

/// One command at a time over the port, on the thread that owns it: writes the command, feeds
/// what comes back to the AtReader, and returns when the command ends, times out, the port is
/// lost or a stop is requested. Unsolicited codes that arrive on the way are kept for the caller
/// (takeUrcs()), whenever they come: between commands, inside a reply, before the prompt.
///
/// A reply is never paired with the wrong command. A reply is the command's only when it says
/// what the command's answer must say (answer_rule.h): an OK without it belongs to an earlier
/// command, and the command is asked once more once in step; what it answers then is its own,
/// however little it says. After that, a timeout, an ESC, or a final result that no command was
/// waiting for,
/// the channel is out of step: before the next command it drains until the modem has sent no
/// reply line for a while, then asks marker queries whose lines no other command draws,
/// AT+CMEE? and AT+CSCS? in turn, until one's own line comes back. Two markers tell a modem
/// whose answers lag one command behind (u-blox SARA-G450 after a reset, TinyGSM issue 296):
/// each marker draws the other's line until the modem catches up. A prompt that comes after its
/// AT+CMGS ended is cancelled with ESC at once. Late answers go to the trace. After a stop
/// nothing more is written: every command returns Stopped at once.
class AtChannel {
public:
    using UrcPredicate = std::function<bool(const AtEvent&)>;

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
    /// A back-off: reads for the whole of @p duration, unsolicited codes or not, and ends early
    /// only on a stop, a lost port, or an unsolicited code @p endsEarly accepts that came since
    /// the last command went out.
    void pause(Milliseconds duration, const UrcPredicate& endsEarly = {});

    std::vector<AtEvent> takeUrcs();
    /// Forgets the unsolicited codes kept so far that @p which accepts.
    void dropUrcs(const UrcPredicate& which);
    /// True once when a command line came back as echo since the last call: echo is off after
    /// the handshake, so the modem has restarted.
    bool takeCommandEcho() { return std::exchange(m_commandEchoSeen, false); }
    /// An answer may still be on its way: the next command resynchronises first.
    bool outOfStep() const { return m_outOfStep; }
    /// For a port whose last user left a command unanswered (a stop in the middle of one).
    void assumeOutOfStep() { m_outOfStep = true; }
    /// Resynchronises now, by @p limit: for an answer that a late one would look like (the bare
    /// OK of the start-up's first line after a retry). Final once a marker's own line came back.
    AtOutcome proveInStep(Clock::time_point limit);
    const SerialPort& port() const { return m_port; }
    bool portLost() const { return !m_lostReason.empty(); }
    /// Why the port was lost ("the device hung up", the system's error); empty while it is not.
    const OperatorText& lostReason() const { return m_lostReason; }
    /// A line in the byte trace.
    void note(const std::string& text);

private:
    enum class PumpResult { Data, Idle, Woken, Lost };
    PumpResult pump(Clock::time_point deadline);
    /// One try of execute(): resynchronise if needed, write, wait, judge the reply by its rule.
    AtReply executeOnce(const AtCommand& command, const AnswerRule& rule);
    bool writeAll(const std::string& bytes, Clock::time_point deadline);
    /// Why writeAll() gave up: a stop or a lost port is not a modem that timed out.
    AtOutcome writeFailure() const;
    /// Handles queued events up to the command's final (or the prompt, or a restart); true when
    /// the command ended.
    bool collectReply(AtReply& reply, bool stopAtPrompt);
    /// Moves the queued events to the unsolicited codes; a stray final marks the channel out of
    /// step. False when a reply line was among them (it breaks the quiet of a drain).
    bool moveEventsToUrcs();
    AtReply waitForReply(Clock::time_point deadline, bool stopAtPrompt, bool finalMayBeMissing);
    /// After a stop: whether the pending command's final comes within the stop's grace.
    bool finalArrivesSoon();
    /// Drains and resynchronises when out of step, by @p limit at the latest. Final when the
    /// channel may go on, else why it cannot (no answer: Timeout; answers that stayed out of
    /// step: OutOfStep; a lost port, a stop).
    AtOutcome resynchronise(Clock::time_point limit);
    /// The next marker query (the markers take turns, across resynchronisations too, so that a
    /// marker left unanswered is never followed by one its late answer would fit): Final once
    /// its own line came back, OutOfStep when only earlier answers did (ask the next), else why
    /// not. @p refused: only error results without any marker's line came, then quiet.
    AtOutcome askMarker(Clock::time_point limit, bool& refused);
    void drainUntilQuiet(Clock::time_point limit);
    /// ESC instead of the PDU, for an AT+CMGS whose prompt did not come in time.
    void cancelPrompt();
    /// ESC for a prompt that came after its AT+CMGS had ended (not after a stop).
    void endLatePrompt();

    SerialPort& m_port;
    WakeSignal& m_wake;
    ByteTrace& m_trace;
    AtReader m_reader;
    std::deque<AtEvent> m_events;
    std::vector<AtEvent> m_urcs;
    OperatorText m_lostReason;
    std::size_t m_urcsBeforeCommand = 0; ///< m_urcs.size() when the last command went out
    bool m_outOfStep = false;
    bool m_commandEchoSeen = false;
    std::size_t m_markerTurn = 0;
};

} // namespace kelbrin
