#pragma once

#include "at_channel.h"
#include "byte_trace.h"
#include "modem_session.h"
#include "wake_signal.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace kelbrin {

/// The one thread that owns the port. start() opens the port on the caller's thread (so open
/// errors come back at once), runs the handshake on the worker and waits for it until the
/// deadline; the worker then serves until it is destroyed (finish, then stop, then join).
///
/// A port lost while serving (unplugged, a USB modem re-enumerating) is reopened by its path
/// every second, so a /dev/serial/by-id link leads to the device wherever it comes back. The
/// modem found there is set up again (the handshake, retrying while it boots) and used only if
/// its serial number (AT+CGSN) is the one the service started with. Meanwhile the caller's sends
/// wait, up to timings.reconnect each, and the last error says the modem is being reconnected.
/// All I/O is non-blocking and waits on the wake signal too, so destruction never waits on the
/// modem.
class ModemWorker {
public:
    /// Nothing, with @p error set to the operator text, when the port cannot be opened or the
    /// handshake fails or does not finish by @p deadline.
    static std::unique_ptr<ModemWorker> start(const SessionSettings& settings, ServiceSink& sink,
                                              SessionMemory& memory, Clock::time_point deadline,
                                              OperatorText& error);
    ~ModemWorker();
    ModemWorker(const ModemWorker&) = delete;
    ModemWorker& operator=(const ModemWorker&) = delete;

    WakeSignal& wakeSignal() { return m_wake; }

private:
    ModemWorker(const SessionSettings& settings, ServiceSink& sink, SessionMemory& memory);

    /// A channel and a session on @p port. Each open, a reopen after a loss too, starts a session
    /// in the trace: the modem on the other end may have restarted, so what follows is a
    /// conversation of its own (@p occasion says which).
    void attach(std::unique_ptr<SerialPort> port, std::string_view occasion);
    /// Sessions one after the other, reconnecting between them, until finished or stopped.
    void serve();
    /// Reopens the port every second until the same modem is back and set up (true), or the
    /// service is finishing or stopping (false).
    bool reconnect();
    /// One attempt: empty when the modem is back and set up, else why not.
    std::string tryReconnect();
    /// Another process that has the device open shares the line: the trace and the last error
    /// name it.
    void warnOtherOpeners();
    bool leaving() const { return m_wake.stopRequested() || m_wake.finishRequested(); }

    SessionSettings m_settings;
    ServiceSink& m_sink;
    SessionMemory& m_memory;
    ByteTrace m_trace;
    WakeSignal m_wake;
    std::unique_ptr<SerialPort> m_port;
    std::unique_ptr<AtChannel> m_channel;
    std::unique_ptr<ModemSession> m_session;
    std::string m_serialNumber;         ///< AT+CGSN at start; empty when the modem did not say
    std::atomic<bool> m_serving{false}; ///< the worker is past its handshake and not done
    std::thread m_thread;
};

} // namespace kelbrin
