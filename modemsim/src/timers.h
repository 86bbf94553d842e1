#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>

namespace modemsim {

// Actions due at points in time; the event loop runs them and sleeps until the next one.
class Timers {
public:
    using Clock = std::chrono::steady_clock;
    using Action = std::function<void(Clock::time_point)>;

    void schedule(Clock::time_point due, Action action);
    std::optional<Clock::time_point> next() const;
    // Runs every action due at `now`, in due order, including those a running action schedules.
    void runDue(Clock::time_point now);

private:
    std::multimap<Clock::time_point, Action> m_actions;
};

} // namespace modemsim
