#include "trace_replay.h"

#include <algorithm>
#include <utility>

namespace modemsim {

TraceReplay::TraceReplay(const TraceSession& session, Clock::time_point start, Complaint complain)
    : m_complain(std::move(complain)) {
    buildSteps(session);
    play(m_opening, start);
}

void TraceReplay::buildSteps(const TraceSession& session) {
    ClientInputReader reader;
    std::chrono::milliseconds commandAt{0};
    std::string partLine;
    std::chrono::milliseconds partLineAt{0};
    int partLineRead = 0; // the trace line of the read that brought the line's last byte
    int keptFromRead = 0;
    const auto answerSoFar = [this]() -> std::vector<TimedBytes>& {
        return m_steps.empty() ? m_opening : m_steps.back().answer;
    };
    // Lines one read brought go out in one write, as the client got them: a final result and
    // the indication after it in the same read are seen together, or the client may act on the
    // result before it sees the indication and ask something the trace does not have.
    const auto keep = [&](std::chrono::milliseconds at, int read) {
        std::vector<TimedBytes>& answer = answerSoFar();
        const auto after = std::max(at - commandAt, std::chrono::milliseconds(0));
        if (!answer.empty() && read == keptFromRead && answer.back().after == after) {
            answer.back().bytes += std::exchange(partLine, {});
        } else {
            answer.push_back({after, std::exchange(partLine, {})});
        }
        keptFromRead = read;
    };
    for (const TraceRecord& record : session.records) {
        if (record.direction == TraceDirection::FromModem) {
            // A line is timed by the read that completed it; a prompt or a line still open
            // when the client wrote again by the read that brought its last byte.
            for (char byte : record.bytes) {
                partLine.push_back(byte);
                if (byte == '\n') {
                    keep(record.offset, record.line);
                }
            }
            partLineAt = record.offset;
            partLineRead = record.line;
            continue;
        }
        for (char byte : record.bytes) {
            if (auto input = reader.feed(byte)) {
                if (!partLine.empty()) {
                    keep(partLineAt, partLineRead);
                }
                m_steps.push_back({std::move(*input), record.line, {}});
                commandAt = record.offset;
            }
        }
    }
    if (!partLine.empty()) {
        keep(partLineAt, partLineRead);
    }
}

void TraceReplay::receive(std::string_view bytes, Clock::time_point now) {
    for (char byte : bytes) {
        if (auto input = m_reader.feed(byte)) {
            handle(*input, now);
        }
    }
}

std::size_t TraceReplay::expected(const ClientInput& input) const {
    std::size_t next = m_next;
    while (input.kind != ClientInput::Kind::Escape && next < m_steps.size() &&
           m_steps[next].input.kind == ClientInput::Kind::Escape) {
        ++next; // the client found the modem in step and did not need the ESC
    }
    return next;
}

std::size_t TraceReplay::find(const ClientInput& input) const {
    const std::size_t next = expected(input);
    if (next < m_steps.size() && m_steps[next].input.matches(input)) {
        return next;
    }
    if (!m_diverged || input.kind == ClientInput::Kind::Escape) {
        return m_steps.size();
    }
    auto later = std::find_if(m_steps.begin() + static_cast<std::ptrdiff_t>(next), m_steps.end(),
                              [&input](const Step& step) { return step.input.matches(input); });
    return static_cast<std::size_t>(later - m_steps.begin());
}

void TraceReplay::handle(const ClientInput& input, Clock::time_point now) {
    const std::size_t found = find(input);
    if (found == m_steps.size() && input.kind == ClientInput::Kind::Escape) {
        return; // a client's ESC before its sync is harmless whenever it comes
    }
    // The client is ahead of the trace: what the modem said before this command comes now.
    m_output.bringForward(now);
    if (found < m_steps.size()) {
        m_diverged = false;
        m_next = found + 1;
        play(m_steps[found].answer, now);
        return;
    }
    const std::size_t next = expected(input);
    if (next < m_steps.size()) {
        m_complain("line " + std::to_string(m_steps[next].line) + " expected " +
                   m_steps[next].input.describe() + ", got " + input.describe());
    } else {
        const std::string last = m_steps.empty() ? "none" : std::to_string(m_steps.back().line);
        m_complain("the trace has no command after its last (line " + last + "), got " +
                   input.describe());
    }
    m_diverged = true;
    m_output.push("\r\nERROR\r\n", now, false);
}

void TraceReplay::play(const std::vector<TimedBytes>& bytes, Clock::time_point from) {
    for (const TimedBytes& timed : bytes) {
        m_output.push(timed.bytes, from + timed.after, false);
    }
}

} // namespace modemsim
