#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace modemsim {

// Bytes waiting to go to the line, each chunk with the time it is due. Chunks keep the order
// they were pushed in even when a later one is due earlier, as a serial line would.
class OutputQueue {
public:
    using Clock = std::chrono::steady_clock;

    // With `split`, every byte becomes a chunk of its own, kSplitGap apart, so that a reader
    // sees them in separate reads.
    void push(const std::string& bytes, Clock::time_point due, bool split);
    std::optional<Clock::time_point> next() const;
    // The chunks due at `now`; each is meant for one write.
    std::vector<std::string> takeDue(Clock::time_point now);
    bool empty() const { return m_chunks.empty(); }
    // Makes the chunks due after `now` due now, keeping their order.
    void bringForward(Clock::time_point now);
    // Drops the chunks due after `now`, as a modem that reboots forgets its pending output.
    void dropNotDue(Clock::time_point now);

    static constexpr std::chrono::milliseconds kSplitGap{1};

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Chunk> m_chunks;
    Clock::time_point m_lastDue{};
};

} // namespace modemsim
