#include "modem_worker.h"

#include "modem_identity.h"
#include "port_diagnostics.h"

#include <future>

#include <poll.h>
#include <unistd.h>

namespace kelbrin {
namespace {

constexpr Milliseconds kReopenEvery{1000};

} // namespace

ModemWorker::ModemWorker(const SessionSettings& settings, ServiceSink& sink, SessionMemory& memory)
    : m_settings(settings), m_sink(sink), m_memory(memory), m_trace(ByteTrace::fromEnvironment()) {}

void ModemWorker::attach(std::unique_ptr<SerialPort> port, std::string_view occasion) {
    m_session.reset();
    m_channel.reset();
    m_port = std::move(port);
    m_channel = std::make_unique<AtChannel>(*m_port, m_wake, m_trace);
    m_session = std::make_unique<ModemSession>(*m_channel, m_wake, m_sink, m_memory, m_settings);
    m_trace.beginSession(describePort(m_settings.port) + ", " +
                         std::to_string(m_settings.port.baud) + " bit/s" +
                         (m_settings.port.rtsCts ? ", RTS/CTS" : "") + ", pid " +
                         std::to_string(::getpid()) + ": " + std::string(occasion));
    warnOtherOpeners();
}

std::unique_ptr<ModemWorker> ModemWorker::start(const SessionSettings& settings, ServiceSink& sink,
                                                SessionMemory& memory, Clock::time_point deadline,
                                                OperatorText& error) {
    PortOpenResult opened = openSerialPort(settings.port);
    if (!opened.port) {
        error = opened.error;
        return nullptr;
    }
    std::unique_ptr<ModemWorker> worker(new ModemWorker(settings, sink, memory));
    worker->attach(std::move(opened.port), "opened");

    std::promise<OperatorText> handshake;
    std::future<OperatorText> outcome = handshake.get_future();
    ModemWorker* self = worker.get();
    worker->m_thread = std::thread([self, deadline, promise = std::move(handshake)]() mutable {
        OperatorText failure = self->m_session->start(deadline);
        self->m_serving = failure.empty();
        const bool started = failure.empty();
        promise.set_value(std::move(failure));
        if (started) {
            // After Start has returned, with a timeout of its own: on a slow modem the start-up
            // budget has no room left for it, and a replug needs it to know the modem again.
            self->m_serialNumber =
                readSerialNumber(*self->m_channel, self->m_settings.timings.command);
            self->m_trace.note("modem IMEI: " +
                               (self->m_serialNumber.empty() ? "unknown" : self->m_serialNumber));
            self->serve();
        }
    });
    // The handshake keeps its own deadline; the margin only covers a worker that overran it.
    constexpr Milliseconds kMargin{150};
    if (outcome.wait_until(deadline + kMargin) != std::future_status::ready) {
        error = OperatorText(KELBRIN_TEXT("the modem on COM%1$s did not finish start-up in time: "
                                          "try again, or power-cycle the modem"),
                             settings.port.portNumber);
        return nullptr; // the destructor stops and joins the worker
    }
    error = outcome.get();
    if (!error.empty()) {
        worker->m_trace.note("start failed: " + error.english());
        return nullptr;
    }
    worker->m_trace.note("service started");
    return worker;
}

void ModemWorker::serve() {
    while (!m_session->run().empty() && reconnect()) {
    }
    m_serving = false;
}

bool ModemWorker::reconnect() {
    const OperatorText lost(KELBRIN_TEXT("modem lost on %1$s, reconnecting (%2$s)"),
                            describePort(m_settings.port), m_channel->lostReason());
    m_trace.note(lost.english());
    m_sink.connectionLost(lost);
    m_session.reset();
    m_channel.reset();
    m_port.reset();
    std::string lastFailure;
    while (!leaving()) {
        const auto attempt = Clock::now();
        m_sink.failSendsCalledBefore(
            attempt - m_settings.timings.reconnect,
            OperatorText(KELBRIN_TEXT("the modem on %1$s was away for more than %2$s s"),
                         describePort(m_settings.port),
                         m_settings.timings.reconnect.count() / 1000));
        const std::string failure = tryReconnect();
        if (failure.empty()) {
            m_trace.note("the modem on " + describePort(m_settings.port) +
                         " is back and set up again");
            m_sink.connectionBack();
            return true;
        }
        if (failure != lastFailure) {
            m_trace.note(failure); // once, not every second
            lastFailure = failure;
        }
        // Wake-ups (a new send) do not hasten the next attempt; a finish or a stop ends it.
        for (auto now = Clock::now(); !leaving() && now < attempt + kReopenEvery;
             now = Clock::now()) {
            pollfd wake{m_wake.fd(), POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<Milliseconds>(attempt + kReopenEvery - now);
            ::poll(&wake, 1, static_cast<int>(left.count()) + 1);
            m_wake.drain();
        }
    }
    return false;
}

std::string ModemWorker::tryReconnect() {
    PortOpenResult opened = openSerialPort(m_settings.port);
    if (!opened.port) {
        return "still waiting for the modem: " + opened.error.english();
    }
    attach(std::move(opened.port), "reopened after the port was lost");
    // It may still be booting: the handshake has more time than at a start, and the next
    // attempt comes a second later.
    const OperatorText failure = m_session->start(Clock::now() + m_settings.timings.restore);
    if (!failure.empty()) {
        return "the modem on " + describePort(m_settings.port) +
               " is not ready yet: " + failure.english();
    }
    const std::string serial = readSerialNumber(*m_channel, m_settings.timings.command);
    if (!m_serialNumber.empty() && serial != m_serialNumber) {
        const OperatorText other =
            serial.empty()
                ? OperatorText(KELBRIN_TEXT("another modem (IMEI unknown) is on %1$s, not the one "
                                            "the service started with (IMEI %2$s): it is not used; "
                                            "still waiting for the first one"),
                               describePort(m_settings.port), m_serialNumber)
                : OperatorText(KELBRIN_TEXT("another modem (IMEI %1$s) is on %2$s, not the one the "
                                            "service started with (IMEI %3$s): it is not used; "
                                            "still waiting for the first one"),
                               serial, describePort(m_settings.port), m_serialNumber);
        m_sink.connectionLost(other);
        m_session.reset();
        m_channel.reset();
        m_port.reset();
        return other.english();
    }
    return {};
}

void ModemWorker::warnOtherOpeners() {
    OperatorText others = describeOtherOpeners(m_settings.port.path);
    if (!others.empty()) {
        const OperatorText warning(KELBRIN_TEXT("warning: %1$s is also open in %2$s, which may "
                                                "read the modem's answers: close it"),
                                   describePort(m_settings.port), std::move(others));
        m_trace.note(warning.english());
        m_sink.problem(warning);
    }
}

ModemWorker::~ModemWorker() {
    // A stop takes kStopBudget at most, whatever the modem does. A serving worker first deletes
    // what the caller took, unless a command has waited longer than kSlowAnswer for its answer: a
    // modem that slow, or hung, would spend the time for nothing. The stop then cuts whatever is
    // left, and the command it cuts may wait for its answer until the budget ends. Deletes left
    // undone are done at the next start.
    constexpr Milliseconds kFinishBudget{250};
    constexpr Milliseconds kStopBudget{300};
    constexpr Milliseconds kSlowAnswer{150};
    const auto stopBy = Clock::now() + kStopBudget;
    if (m_serving) {
        m_wake.requestFinish();
        const auto deadline = Clock::now() + kFinishBudget;
        while (m_serving && Clock::now() < deadline && m_wake.commandWaiting() <= kSlowAnswer) {
            std::this_thread::sleep_for(Milliseconds(5));
        }
    }
    m_wake.requestStop(stopBy);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_trace.note("service stopped");
}

} // namespace kelbrin
