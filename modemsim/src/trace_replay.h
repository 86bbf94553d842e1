#pragma once

#include "client_input.h"
#include "line_peer.h"
#include "output_queue.h"
#include "trace_file.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace modemsim {

// Answers as a traced modem did (`modemsim --replay`). The trace's ">>" bytes become the
// commands a client is expected to write; what came back ("<<", cut into lines) follows each
// command after the delay it had in the trace, unsolicited lines included, timed from the
// command before them. Lines that came before the first command are timed from the start.
//
// Each command the client writes is matched with the next traced one (ClientInput::matches).
// One that differs gets ERROR and a complaint naming the trace line, and the replay stays where
// it was, so one extra command costs nothing; after that, a command may also match a traced
// command further on (the client skipped some), and the replay goes on from there. An ESC the
// trace does not have at that point is passed over, as is a traced ESC the client did not send.
class TraceReplay : public LinePeer {
public:
    using Complaint = std::function<void(const std::string&)>;

    TraceReplay(const TraceSession& session, Clock::time_point start, Complaint complain);

    void receive(std::string_view bytes, Clock::time_point now) override;
    // The output queue holds all the timing there is.
    void runDue(Clock::time_point) override {}
    std::optional<Clock::time_point> nextDeadline() const override { return m_output.next(); }
    std::vector<std::string> takeOutput(Clock::time_point now) override {
        return m_output.takeDue(now);
    }

private:
    struct TimedBytes {
        std::chrono::milliseconds after; // since the command before, or the start
        std::string bytes;
    };
    struct Step {
        ClientInput input;
        int line; // in the trace file
        std::vector<TimedBytes> answer;
    };

    void buildSteps(const TraceSession& session);
    void handle(const ClientInput& input, Clock::time_point now);
    // The traced command `input` should match: the next one, past ESCs the client need not send.
    std::size_t expected(const ClientInput& input) const;
    // The traced command that answers `input`, or m_steps.size().
    std::size_t find(const ClientInput& input) const;
    void play(const std::vector<TimedBytes>& bytes, Clock::time_point from);

    std::vector<TimedBytes> m_opening;
    std::vector<Step> m_steps;
    std::size_t m_next{0};
    bool m_diverged{false}; // the last command did not match
    Complaint m_complain;
    ClientInputReader m_reader;
    OutputQueue m_output;
};

} // namespace modemsim
