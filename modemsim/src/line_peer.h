#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// What answers on the terminal: the simulated modem, or a replay of a traced one. The event loop
// feeds it the client's bytes, moves it on at its deadlines and writes what it has due.
class LinePeer {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~LinePeer() = default;
    virtual void receive(std::string_view bytes, Clock::time_point now) = 0;
    virtual void runDue(Clock::time_point now) = 0;
    virtual std::optional<Clock::time_point> nextDeadline() const = 0;
    // The chunks due at `now`; each is meant for one write.
    virtual std::vector<std::string> takeOutput(Clock::time_point now) = 0;
};

} // namespace modemsim
