#pragma once

#include <atomic>

namespace kelbrin {

/// Wakes the modem worker out of poll(2): for new work, to finish the work in hand because a stop
/// is coming, or for good when the stop is requested.
/// An eventfd, so other threads can signal it without a lock and the worker can wait on it
/// together with the port.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void wake();
    /// The worker deletes what the caller took, then stops serving; commands still run.
    void requestFinish();
    bool finishRequested() const { return m_finish.load(); }
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }
    int fd() const { return m_fd; }
    /// Clears pending wake-ups (the stop request stays).
    void drain();

private:
    int m_fd = -1;
    std::atomic<bool> m_finish{false};
    std::atomic<bool> m_stop{false};
};

} // namespace kelbrin
