#pragma once

#include <atomic>
#include <chrono>

namespace kelbrin {

/// Wakes the modem worker out of poll(2): for new work, to finish the work in hand because a stop
/// is coming, or for good when the stop is requested. Also tells the stopping thread how long the
/// worker has been waiting for the modem's answer, and the worker how long a command cut short by
/// the stop may still wait for it.
/// An eventfd, so other threads can signal it without a lock and the worker can wait on it
/// together with the port.
class WakeSignal {
public:
    using Clock = std::chrono::steady_clock;

    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void wake();
    /// The worker deletes what the caller took, then stops serving; commands still run.
    void requestFinish();
    bool finishRequested() const { return m_finish.load(); }
    /// A command cut short may wait for its answer until @p answerGraceEnd; nothing more is
    /// written to the modem.
    void requestStop(Clock::time_point answerGraceEnd);
    bool stopRequested() const { return m_stop.load(); }
    Clock::time_point answerGraceEnd() const { return m_answerGraceEnd.load(); }
    /// Set by the channel while a command waits for the modem: since when, or
    /// Clock::time_point::max().
    void setCommandWaitingSince(Clock::time_point since) { m_commandWaitingSince.store(since); }
    /// How long the command in hand has waited for its answer; zero between commands.
    Clock::duration commandWaiting() const;
    int fd() const { return m_fd; }
    /// Clears pending wake-ups (the stop request stays).
    void drain();

private:
    int m_fd = -1;
    std::atomic<bool> m_finish{false};
    std::atomic<bool> m_stop{false};
    std::atomic<Clock::time_point> m_commandWaitingSince{Clock::time_point::max()};
    std::atomic<Clock::time_point> m_answerGraceEnd{Clock::time_point::min()};
};

} // namespace kelbrin
