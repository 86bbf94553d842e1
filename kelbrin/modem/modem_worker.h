#pragma once

#include "at_channel.h"
#include "byte_trace.h"
#include "modem_session.h"
#include "wake_signal.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace kelbrin {

/// The one thread that owns the port. start() opens the port on the caller's thread (so open
/// errors come back at once), runs the handshake on the worker and waits for it until the
/// deadline; the worker then serves until it is destroyed (stop requested, thread joined) or the
/// port is lost (reported through ServiceSink::serviceEnded). All its I/O is non-blocking and
/// waits on the wake signal too, so destruction never waits on the modem.
class ModemWorker {
public:
    /// Nothing, with @p error set to the operator text, when the port cannot be opened or the
    /// handshake fails or does not finish by @p deadline.
    static std::unique_ptr<ModemWorker> start(const SessionSettings& settings, ServiceSink& sink,
                                              SessionMemory& memory, Clock::time_point deadline,
                                              std::string& error);
    ~ModemWorker();
    ModemWorker(const ModemWorker&) = delete;
    ModemWorker& operator=(const ModemWorker&) = delete;

    WakeSignal& wakeSignal() { return m_wake; }

private:
    ModemWorker(std::unique_ptr<SerialPort> port, const SessionSettings& settings,
                ServiceSink& sink, SessionMemory& memory);

    ByteTrace m_trace;
    WakeSignal m_wake;
    std::unique_ptr<SerialPort> m_port;
    AtChannel m_channel;
    ModemSession m_session;
    ServiceSink& m_sink;
    std::atomic<bool> m_serving{false}; ///< the worker is in ModemSession::run()
    std::thread m_thread;
};

} // namespace kelbrin
