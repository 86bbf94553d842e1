#include "at_channel.h"

#include "at_parsers.h"
#include "at_text.h"
#include "byte_trace.h"
#include "port_diagnostics.h"
#include "serial_port.h"
#include "wake_signal.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <poll.h>

namespace kelbrin {
namespace {

// How long a read of nothing without a hang-up waits before the next poll.
constexpr Milliseconds kEmptyReadPause{10};

// How long a modem that may omit the final result must stay quiet after its information line.
constexpr Milliseconds kQuietGrace{250};
// Out of step: the modem is quiet once no reply line has come for this long (unsolicited codes
// do not count), and the drain ends after kDrainCap whatever comes. A late answer comes from a
// slow network or from a modem waking from USB suspend; asterisk-chan-dongle issue 97 (Huawei
// E173) and esp-protocols issue 305 (Quectel MC60) show it landing on the next command.
constexpr Milliseconds kQuietWindow{300};
constexpr Milliseconds kDrainCap{2000};
// How long a marker query may take: as long as a sleepy modem's first answer.
constexpr Milliseconds kResyncAnswer{2000};
// The markers: queries every modem answers with a line of its own, which no command of the
// library draws (27.007 §9.1 +CMEE, §5.5 +CSCS). SARA-G450 answers one command late for its
// first six command lines after power-up.
struct Marker {
    const char* command;
    std::string_view prefix;
};
constexpr std::array<Marker, 2> kMarkers{{{"AT+CMEE?", "+CMEE:"}, {"AT+CSCS?", "+CSCS:"}}};
constexpr std::size_t kMostMarkers = 10;
constexpr Milliseconds kResyncBudget{4000};
constexpr char kCtrlZ = '\x1A';
constexpr char kEscape = '\x1B';

bool startsWithAt(const std::string& line) {
    return line.size() >= 2 && equalsIgnoringCase(line.substr(0, 2), "AT");
}

/// Marks the channel's wait for the modem, so a stop knows whether it cuts a command short.
class PendingCommand {
public:
    explicit PendingCommand(WakeSignal& wake) : m_wake(wake) {
        m_wake.setCommandWaitingSince(Clock::now());
    }
    ~PendingCommand() { m_wake.setCommandWaitingSince(Clock::time_point::max()); }
    PendingCommand(const PendingCommand&) = delete;
    PendingCommand& operator=(const PendingCommand&) = delete;

private:
    WakeSignal& m_wake;
};

int millisUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
    // Round up so a poll never returns just before the deadline and spins.
    return static_cast<int>(std::clamp<long long>(left + 1, 0, 60'000));
}

} // namespace

AtChannel::AtChannel(SerialPort& port, WakeSignal& wake, ByteTrace& trace)
    : m_port(port), m_wake(wake), m_trace(trace) {}

AtReply AtChannel::execute(const AtCommand& command) {
    if (m_wake.stopRequested()) {
        AtReply reply;
        reply.outcome = AtOutcome::Stopped; // nothing goes to the modem after a stop
        return reply;
    }
    const PendingCommand pending(m_wake);
    const AnswerRule rule = answerRuleFor(command.line);
    AtReply reply = executeOnce(command, rule);
    if (!reply.ok() || rule.heardIn(reply.responses)) {
        return reply;
    }
    m_trace.note(reply.finalLine + " without the answer " + command.line +
                 " must give: it may belong to an earlier command; asking again once in step");
    m_outOfStep = true;
    reply = executeOnce(command, rule);
    if (reply.ok() && !rule.heardIn(reply.responses)) {
        // Asked just after the marker queries proved the dialogue in step: the answer is this
        // command's own, however little it says (a bare OK to AT+CMGR of an empty slot, which
        // gammu's ATGEN_ReplyGetSMSMessage reads as empty too).
        m_trace.note(reply.finalLine + " again, in step: the answer of " + command.line);
    }
    return reply;
}

AtReply AtChannel::executeOnce(const AtCommand& command, const AnswerRule& rule) {
    AtReply reply;
    reply.outcome = resynchronise(command.notAfter);
    if (reply.outcome != AtOutcome::Final) {
        return reply;
    }
    const auto now = Clock::now();
    if (now >= command.notAfter) {
        reply.outcome = AtOutcome::Timeout; // out of time before it could go out
        return reply;
    }
    const auto deadline = std::min(command.notAfter, now + command.timeout);
    m_urcsBeforeCommand = m_urcs.size();
    m_reader.beginCommand({command.line, rule.prefix, false, rule.form == AnswerForm::Text});
    if (!writeAll(command.line + "\r", deadline)) {
        m_reader.endCommand();
        reply.outcome = writeFailure();
        return reply;
    }
    reply = waitForReply(deadline, false, command.finalMayBeMissing);
    if (reply.outcome == AtOutcome::Timeout) {
        m_outOfStep = true; // its answer may still come
    }
    return reply;
}

AtOutcome AtChannel::proveInStep(Clock::time_point limit) {
    if (m_wake.stopRequested()) {
        return AtOutcome::Stopped;
    }
    const PendingCommand pending(m_wake);
    m_outOfStep = true;
    return resynchronise(limit);
}

AtReply AtChannel::sendPdu(int length, const std::string& pdu, Milliseconds promptTimeout,
                           Milliseconds resultTimeout) {
    AtReply reply;
    if (m_wake.stopRequested()) {
        reply.outcome = AtOutcome::Stopped;
        return reply;
    }
    const PendingCommand pending(m_wake);
    reply.outcome = resynchronise(Clock::time_point::max());
    if (reply.outcome != AtOutcome::Final) {
        return reply;
    }
    const std::string line = "AT+CMGS=" + std::to_string(length);
    const AnswerRule rule = answerRuleFor(line);
    auto deadline = Clock::now() + promptTimeout;
    m_urcsBeforeCommand = m_urcs.size();
    m_reader.beginCommand({line, rule.prefix, true, false});
    if (writeAll(line + "\r", deadline)) {
        reply = waitForReply(deadline, true, false);
    } else {
        reply.outcome = writeFailure();
    }
    if (!reply.prompted) {
        switch (reply.outcome) {
        case AtOutcome::Final:
            // A final result before the prompt is this command's error or the late answer of
            // an earlier one; either way the PDU was not sent, and an OK here is no success.
            // The prompt may still come (SIM800L): an ESC now would reach a modem not yet in
            // text entry and be lost, so the ESC goes out when the prompt does (the reader
            // still knows it as the prompt, see endLatePrompt()).
            m_outOfStep = true;
            if (reply.final == FinalKind::Ok) {
                reply.outcome = AtOutcome::AnsweredBeforePrompt;
            }
            break;
        case AtOutcome::Timeout:
            cancelPrompt();
            reply.outcome = AtOutcome::NoPrompt;
            break;
        case AtOutcome::Stopped:
            cancelPrompt();
            break;
        default:
            break;
        }
        return reply;
    }
    deadline = Clock::now() + resultTimeout;
    m_reader.expectEcho(pdu);
    if (!writeAll(pdu + kCtrlZ, deadline)) {
        m_reader.endCommand();
        reply = AtReply{};
        reply.outcome = writeFailure();
        reply.prompted = true;
        return reply;
    }
    // After Ctrl-Z there is no way back: a timeout leaves the outcome undetermined.
    reply = waitForReply(deadline, false, false);
    reply.prompted = true;
    // The prompt came in answer to this AT+CMGS, so what follows the PDU is its result, with
    // or without the +CMGS line (Huawei E1750 leaves it out, gammu issue 88).
    if (reply.outcome == AtOutcome::Timeout) {
        m_outOfStep = true;
    }
    return reply;
}

void AtChannel::endLatePrompt() {
    // The prompt of an AT+CMGS that had already ended: the modem waits for text that will not
    // come, and would take the next command for it.
    m_outOfStep = true;
    if (m_wake.stopRequested()) {
        return; // nothing is written after a stop: the next start's first ESC ends it
    }
    m_trace.note("prompt after the send had ended: cancelled with ESC");
    writeRaw(std::string(1, kEscape));
}

void AtChannel::cancelPrompt() {
    // ESC instead of the PDU quits without sending; "abortion is acknowledged with OK"
    // (Quectel UGxx, Telit LE910). That OK, or the rest of a late answer, must not end the next
    // command.
    m_reader.endCommand();
    writeRaw(std::string(1, kEscape));
    m_outOfStep = true;
}

AtOutcome AtChannel::writeFailure() const {
    return portLost()               ? AtOutcome::PortLost
           : m_wake.stopRequested() ? AtOutcome::Stopped
                                    : AtOutcome::Timeout;
}

bool AtChannel::writeRaw(const std::string& bytes) {
    return writeAll(bytes, Clock::now() + Milliseconds(1000));
}

void AtChannel::waitForActivity(Milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        moveEventsToUrcs();
        if (!m_urcs.empty()) {
            return;
        }
        const PumpResult result = pump(deadline);
        if (result != PumpResult::Data) {
            moveEventsToUrcs();
            return;
        }
    }
}

void AtChannel::pause(Milliseconds duration, const UrcPredicate& endsEarly) {
    const auto deadline = Clock::now() + duration;
    moveEventsToUrcs();
    // What came with the last command's answer counts too ("+CMS ERROR: 500" then "SMS Ready").
    std::size_t seen = std::min(m_urcsBeforeCommand, m_urcs.size());
    while (Clock::now() < deadline && !m_wake.stopRequested()) {
        if (endsEarly && std::any_of(m_urcs.begin() + static_cast<std::ptrdiff_t>(seen),
                                     m_urcs.end(), endsEarly)) {
            return;
        }
        seen = m_urcs.size();
        if (pump(deadline) == PumpResult::Lost) {
            return;
        }
        moveEventsToUrcs();
    }
}

std::vector<AtEvent> AtChannel::takeUrcs() {
    moveEventsToUrcs();
    std::vector<AtEvent> urcs;
    urcs.swap(m_urcs);
    m_urcsBeforeCommand = 0;
    return urcs;
}

void AtChannel::dropUrcs(const UrcPredicate& which) {
    moveEventsToUrcs();
    m_urcs.erase(std::remove_if(m_urcs.begin(), m_urcs.end(), which), m_urcs.end());
    m_urcsBeforeCommand = m_urcs.size();
}

void AtChannel::note(const std::string& text) {
    m_trace.note(text);
}

AtChannel::PumpResult AtChannel::pump(Clock::time_point deadline) {
    if (portLost()) {
        return PumpResult::Lost;
    }
    std::array<pollfd, 2> fds{{{m_port.fd(), POLLIN, 0}, {m_wake.fd(), POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), millisUntil(deadline));
    if (ready < 0) {
        return errno == EINTR ? PumpResult::Idle : PumpResult::Lost;
    }
    if (fds[1].revents != 0) {
        m_wake.drain();
        return PumpResult::Woken;
    }
    if (fds[0].revents == 0) {
        return PumpResult::Idle;
    }
    std::array<char, 4096> buffer{};
    const ssize_t count = m_port.readSome(buffer.data(), buffer.size());
    if (count > 0) {
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(count));
        m_trace.received(bytes);
        std::vector<AtEvent> events;
        m_reader.feed(bytes, events);
        std::move(events.begin(), events.end(), std::back_inserter(m_events));
        return PumpResult::Data;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return PumpResult::Idle;
    }
    if (count == 0 && (fds[0].revents & (POLLHUP | POLLERR)) == 0) {
        // End of file without a hang-up: some USB serial drivers report a read of nothing now
        // and then while the device is still there. Not a loss; breathe rather than spin.
        ::poll(&fds[1], 1, static_cast<int>(kEmptyReadPause.count()));
        return PumpResult::Idle;
    }
    m_lostReason =
        count == 0 ? OperatorText(KELBRIN_TEXT("the device hung up")) : describeSystemError(errno);
    m_trace.note("port lost: " + m_lostReason.english());
    return PumpResult::Lost;
}

bool AtChannel::writeAll(const std::string& bytes, Clock::time_point deadline) {
    m_trace.sent(bytes);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = m_port.writeSome(bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            m_lostReason = describeSystemError(errno);
            m_trace.note("port lost while writing: " + m_lostReason.english());
            return false;
        }
        // The line is flow-controlled off (CTS low) or the buffer is full: wait for room.
        std::array<pollfd, 2> fds{{{m_port.fd(), POLLOUT, 0}, {m_wake.fd(), POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), millisUntil(deadline)) <= 0 || m_wake.stopRequested() ||
            Clock::now() >= deadline) {
            return false;
        }
        if (fds[1].revents != 0) {
            m_wake.drain();
        }
    }
    return true;
}

bool AtChannel::collectReply(AtReply& reply, bool stopAtPrompt) {
    while (!m_events.empty()) {
        AtEvent event = std::move(m_events.front());
        m_events.pop_front();
        switch (event.kind) {
        case AtEventKind::Echo:
            m_commandEchoSeen |= startsWithAt(event.line);
            break;
        case AtEventKind::Urc:
            if (isBootSign(event.line)) {
                // The modem rebooted: the command is gone, and its answer will never come.
                m_reader.endCommand();
                m_urcs.push_back(std::move(event));
                reply.outcome = AtOutcome::Restarted;
                return true;
            }
            m_urcs.push_back(std::move(event));
            break;
        case AtEventKind::Response:
            reply.responses.push_back(std::move(event));
            break;
        case AtEventKind::Prompt:
            if (stopAtPrompt) {
                reply.prompted = true;
                return true;
            }
            endLatePrompt(); // came while another command waited: it went into the text
            break;
        case AtEventKind::Final:
            reply.outcome = AtOutcome::Final;
            reply.final = event.final;
            reply.errorCode = event.errorCode;
            reply.finalLine = std::move(event.line);
            return true;
        }
    }
    return false;
}

AtReply AtChannel::waitForReply(Clock::time_point deadline, bool stopAtPrompt,
                                bool finalMayBeMissing) {
    AtReply reply;
    for (;;) {
        if (collectReply(reply, stopAtPrompt)) {
            return reply;
        }
        if (m_wake.stopRequested()) {
            reply.outcome = AtOutcome::Stopped;
            // An answer that comes after the stop would reach the next session's first command.
            m_outOfStep = !finalArrivesSoon();
            return reply;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            m_reader.endCommand();
            reply.outcome = AtOutcome::Timeout;
            return reply;
        }
        const bool mayEndQuietly = finalMayBeMissing && !reply.responses.empty();
        const auto waitUntil = mayEndQuietly ? std::min(deadline, now + kQuietGrace) : deadline;
        const PumpResult result = pump(waitUntil);
        if (result == PumpResult::Lost) {
            reply.outcome = AtOutcome::PortLost;
            return reply;
        }
        if (result == PumpResult::Idle && mayEndQuietly) {
            m_reader.endCommand();
            reply.outcome = AtOutcome::Final;
            reply.final = FinalKind::Ok;
            return reply;
        }
    }
}

bool AtChannel::finalArrivesSoon() {
    const auto deadline = m_wake.answerGraceEnd();
    AtReply scratch;
    for (;;) {
        if (collectReply(scratch, false) && scratch.outcome != AtOutcome::Restarted) {
            return true;
        }
        if (Clock::now() >= deadline || pump(deadline) == PumpResult::Lost) {
            m_reader.endCommand();
            return false;
        }
    }
}

AtOutcome AtChannel::resynchronise(Clock::time_point limit) {
    moveEventsToUrcs();
    if (!m_outOfStep) {
        return AtOutcome::Final;
    }
    if (Clock::now() >= limit) {
        return AtOutcome::Timeout; // still out of step; the next command tries again
    }
    m_trace.note("out of step with the modem: waiting until it is quiet, then a marker query");
    drainUntilQuiet(std::min(limit, Clock::now() + kDrainCap));
    if (m_wake.stopRequested()) {
        return AtOutcome::Stopped; // still out of step: the next start resynchronises
    }
    const auto end = std::min(limit, Clock::now() + kResyncBudget);
    bool previousRefused = false;
    bool answeredLate = false;
    for (std::size_t asked = 0; asked < kMostMarkers && Clock::now() < end; ++asked) {
        bool refused = false;
        const AtOutcome outcome = askMarker(end, refused);
        // Both markers refused, then quiet: a modem that knows neither, in step all the same (a
        // lagging modem answers one marker with the other's line, or with an earlier OK).
        if (outcome == AtOutcome::Final || (refused && previousRefused)) {
            m_reader.endCommand();
            m_outOfStep = false;
            m_trace.note("in step again");
            return AtOutcome::Final;
        }
        if (outcome != AtOutcome::OutOfStep) {
            return outcome;
        }
        answeredLate = true;
        previousRefused = refused;
    }
    if (!answeredLate) {
        return AtOutcome::Timeout; // no time left to ask: nothing says the modem is there
    }
    m_trace.note("the modem's answers stay out of step");
    return AtOutcome::OutOfStep;
}

AtOutcome AtChannel::askMarker(Clock::time_point limit, bool& refused) {
    const Marker& marker = kMarkers[m_markerTurn++ % kMarkers.size()];
    const Marker& other = kMarkers[m_markerTurn % kMarkers.size()];
    auto deadline = std::min(limit, Clock::now() + kResyncAnswer);
    const std::size_t urcsBefore = m_urcs.size();
    m_reader.beginCommand({marker.command, std::string(marker.prefix), false, false});
    if (!writeAll(std::string(marker.command) + "\r", deadline)) {
        m_reader.endCommand();
        return writeFailure();
    }
    const auto written = Clock::now();
    bool discarded = false;
    refused = true;
    for (;;) {
        const AtReply reply = waitForReply(deadline, false, false);
        switch (reply.outcome) {
        case AtOutcome::PortLost:
        case AtOutcome::Stopped:
            return reply.outcome;
        case AtOutcome::Restarted:
            // A boot code, or an earlier "+CPIN: READY" that came late: the marker's answer
            // may still come.
            refused = false;
            m_reader.beginCommand({marker.command, std::string(marker.prefix), false, false});
            continue;
        case AtOutcome::Timeout:
            if (!discarded) {
                m_trace.note(std::string("no answer to ") + marker.command + ": still out of step");
                return AtOutcome::Timeout;
            }
            // Only an earlier answer came: this marker's waits for the next command.
            return AtOutcome::OutOfStep;
        case AtOutcome::Final:
            if (std::any_of(reply.responses.begin(), reply.responses.end(),
                            [&marker](const AtEvent& line) {
                                return startsWith(line.line, marker.prefix);
                            })) {
                return AtOutcome::Final; // its own line, then its final
            }
            refused = refused && reply.final != FinalKind::Ok;
            break;
        case AtOutcome::NoPrompt:
        case AtOutcome::AnsweredBeforePrompt:
        case AtOutcome::OutOfStep:
            return reply.outcome;
        }
        m_trace.note("answer of an earlier command discarded: " + reply.finalLine);
        // The other marker's line is the answer of the marker before: the modem lags behind.
        const auto lines = m_urcs.begin() + static_cast<std::ptrdiff_t>(urcsBefore);
        const auto laggingLine = [&other](const AtEvent& urc) {
            return startsWith(urc.line, other.prefix);
        };
        if (std::any_of(lines, m_urcs.end(), laggingLine)) {
            refused = false;
            m_urcs.erase(std::remove_if(lines, m_urcs.end(), laggingLine), m_urcs.end());
        }
        discarded = true;
        // Its own answer comes right behind, or not before another command is written; a modem
        // slow to answer is given as long again as the earlier answer took, so that the next
        // marker does not go out before this one's answer and take it for its own.
        const auto took = std::chrono::duration_cast<Milliseconds>(Clock::now() - written);
        deadline = std::min(limit, Clock::now() + took + kQuietWindow);
        m_reader.beginCommand({marker.command, std::string(marker.prefix), false, false});
    }
}

void AtChannel::drainUntilQuiet(Clock::time_point limit) {
    m_reader.endCommand();
    auto quietUntil = Clock::now() + kQuietWindow;
    for (;;) {
        if (!moveEventsToUrcs()) {
            quietUntil = Clock::now() + kQuietWindow;
        }
        const auto until = std::min(quietUntil, limit);
        if (Clock::now() >= until || m_wake.stopRequested() || pump(until) == PumpResult::Lost) {
            moveEventsToUrcs();
            return;
        }
    }
}

bool AtChannel::moveEventsToUrcs() {
    bool quiet = true;
    for (auto& event : m_events) {
        if (event.kind == AtEventKind::Echo) {
            m_commandEchoSeen |= startsWithAt(event.line);
        } else if (event.kind == AtEventKind::Prompt) {
            endLatePrompt();
            quiet = false;
        } else if (event.kind != AtEventKind::Urc || AtReader::isFinalResult(event.line)) {
            // A final result no command waits for: whatever it answered, the next final may
            // belong to an earlier command too.
            m_trace.note("answer no command waits for: " + event.line);
            m_outOfStep = true;
            quiet = false;
        } else {
            quiet = quiet && isKnownUnsolicited(event.line);
            m_urcs.push_back(std::move(event));
        }
    }
    m_events.clear();
    return quiet;
}

} // namespace kelbrin
