#pragma once

#include "byte_trace.h"
#include "control_server.h"
#include "modem.h"
#include "modemsim/simulator.h"
#include "pty_port.h"
#include "trace_replay.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace modemsim {

// The simulator's thread: waits in poll() for the terminal, the control socket, a wake-up or
// the next due time, and moves the modem on. Callers on other threads reach the modem through
// withModem(), which holds the lock and wakes the loop afterwards so new output and timers count.
class EventLoop {
public:
    // Throws std::system_error, or std::runtime_error for a trace to replay that cannot be read.
    explicit EventLoop(const SimulatorOptions& options);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Changes with a replug.
    std::string terminalPath() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_port.terminalPath();
    }
    template <typename Result> Result withModem(const std::function<Result(Modem&)>& action) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Result result = action(m_modem);
        wake();
        return result;
    }

private:
    // Loads the trace and lets it answer instead of the modem.
    void startReplay(const std::string& path);
    void run();
    void wake();
    void readTerminal(Modem::Clock::time_point now);
    void writeTerminal(Modem::Clock::time_point now);
    void hangUpIfAsked();
    // Closes the terminal and takes the link away with it.
    void unplug();
    // A replug hangs up at once and plugs a new terminal in when its time comes.
    void replugIfDue(Modem::Clock::time_point now);
    int timeoutMs(Modem::Clock::time_point now) const;

    std::mutex m_mutex;
    PtyPort m_port;
    Modem m_modem;
    std::unique_ptr<TraceReplay> m_replay;
    LinePeer* m_peer{&m_modem}; // what answers on the terminal: the modem or the replay
    std::string m_linkPath;
    std::unique_ptr<ControlServer> m_control;
    std::unique_ptr<ByteTrace> m_trace;
    std::string m_unwritten; // accepted by the modem, refused by a full terminal buffer
    std::optional<Modem::Clock::time_point> m_plugInAt;
    int m_wakeFd{-1};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace modemsim
