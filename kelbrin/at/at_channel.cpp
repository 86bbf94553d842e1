#include "at_channel.h"

#include "byte_trace.h"
#include "serial_port.h"
#include "wake_signal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <poll.h>

namespace kelbrin {
namespace {

// How long a modem that may omit the final result must stay quiet after its information line.
constexpr Milliseconds kQuietGrace{250};
// How long to listen for the late "OK" of a cancelled prompt before the next command.
constexpr Milliseconds kLateOutputWindow{300};
constexpr char kCtrlZ = '\x1A';
constexpr char kEscape = '\x1B';

int millisUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
    // Round up so a poll never returns just before the deadline and spins.
    return static_cast<int>(std::clamp<long long>(left + 1, 0, 60'000));
}

} // namespace

AtChannel::AtChannel(SerialPort& port, WakeSignal& wake, ByteTrace& trace)
    : m_port(port), m_wake(wake), m_trace(trace) {}

AtReply AtChannel::execute(const AtCommand& command) {
    moveEventsToUrcs();
    const auto deadline = Clock::now() + command.timeout;
    m_reader.beginCommand({command.line, command.responsePrefix, false});
    if (!writeAll(command.line + "\r", deadline)) {
        m_reader.endCommand();
        AtReply reply;
        reply.outcome = writeFailure();
        return reply;
    }
    return waitForReply(deadline, false, command.finalMayBeMissing);
}

AtReply AtChannel::sendPdu(int length, const std::string& pdu, Milliseconds promptTimeout,
                           Milliseconds resultTimeout) {
    moveEventsToUrcs();
    const std::string line = "AT+CMGS=" + std::to_string(length);
    auto deadline = Clock::now() + promptTimeout;
    m_reader.beginCommand({line, "+CMGS:", true});
    AtReply reply;
    if (writeAll(line + "\r", deadline)) {
        reply = waitForReply(deadline, true, false);
    } else {
        reply.outcome = writeFailure();
    }
    if (!reply.prompted) {
        if (reply.outcome == AtOutcome::Timeout || reply.outcome == AtOutcome::Stopped) {
            // ESC instead of the PDU quits without sending; "abortion is acknowledged with OK"
            // (Quectel UGxx, Telit LE910). That OK must not end the next command.
            m_reader.endCommand();
            writeRaw(std::string(1, kEscape));
            if (reply.outcome == AtOutcome::Timeout) {
                reply.outcome = AtOutcome::NoPrompt;
                discardLateOutput();
            }
        }
        return reply;
    }
    deadline = Clock::now() + resultTimeout;
    m_reader.expectEcho(pdu);
    if (!writeAll(pdu + kCtrlZ, deadline)) {
        m_reader.endCommand();
        reply = AtReply{};
        reply.outcome = writeFailure();
        return reply;
    }
    // After Ctrl-Z there is no way back: a timeout leaves the outcome undetermined.
    return waitForReply(deadline, false, false);
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

std::vector<AtEvent> AtChannel::takeUrcs() {
    moveEventsToUrcs();
    std::vector<AtEvent> urcs;
    urcs.swap(m_urcs);
    return urcs;
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
    m_lostReason = count == 0 ? "the device hung up" : std::string(std::strerror(errno));
    m_trace.note("port lost: " + m_lostReason);
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
            m_lostReason = std::strerror(errno);
            m_trace.note("port lost while writing: " + m_lostReason);
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
            break;
        case AtEventKind::Urc:
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

void AtChannel::discardLateOutput() {
    const auto deadline = Clock::now() + kLateOutputWindow;
    while (Clock::now() < deadline && pump(deadline) != PumpResult::Lost) {
    }
    moveEventsToUrcs();
}

void AtChannel::moveEventsToUrcs() {
    for (auto& event : m_events) {
        if (event.kind == AtEventKind::Urc) {
            m_urcs.push_back(std::move(event));
        }
    }
    m_events.clear();
}

} // namespace kelbrin
