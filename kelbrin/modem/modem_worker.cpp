#include "modem_worker.h"

#include <future>

namespace kelbrin {

ModemWorker::ModemWorker(std::unique_ptr<SerialPort> port, const SessionSettings& settings,
                         ServiceSink& sink, SessionMemory& memory)
    : m_trace(ByteTrace::fromEnvironment()), m_port(std::move(port)),
      m_channel(*m_port, m_wake, m_trace), m_session(m_channel, m_wake, sink, memory, settings),
      m_sink(sink) {}

std::unique_ptr<ModemWorker> ModemWorker::start(const SessionSettings& settings, ServiceSink& sink,
                                                SessionMemory& memory, Clock::time_point deadline,
                                                std::string& error) {
    PortOpenResult opened = openSerialPort(settings.port);
    if (!opened.port) {
        error = opened.error;
        return nullptr;
    }
    std::unique_ptr<ModemWorker> worker(
        new ModemWorker(std::move(opened.port), settings, sink, memory));
    worker->m_trace.note("opened " + settings.port.path + " at " +
                         std::to_string(settings.port.baud) + " bit/s" +
                         (settings.port.rtsCts ? ", RTS/CTS" : ""));

    std::promise<std::string> handshake;
    std::future<std::string> outcome = handshake.get_future();
    ModemWorker* self = worker.get();
    worker->m_thread = std::thread([self, deadline, promise = std::move(handshake)]() mutable {
        const std::string failure = self->m_session.start(deadline);
        promise.set_value(failure);
        if (!failure.empty()) {
            return;
        }
        self->m_serving = true;
        const std::string lost = self->m_session.run();
        self->m_serving = false;
        if (!lost.empty()) {
            self->m_sink.serviceEnded(lost);
        }
    });
    // The handshake keeps its own deadline; the margin only covers a worker that overran it.
    constexpr Milliseconds kMargin{150};
    if (outcome.wait_until(deadline + kMargin) != std::future_status::ready) {
        error = "the modem on COM" + std::to_string(settings.port.portNumber) +
                " did not finish start-up in time: try again, or power-cycle the modem";
        return nullptr; // the destructor stops and joins the worker
    }
    error = outcome.get();
    if (!error.empty()) {
        worker->m_trace.note("start failed: " + error);
        return nullptr;
    }
    worker->m_trace.note("service started");
    return worker;
}

ModemWorker::~ModemWorker() {
    // A serving worker first deletes what the caller took; the stop then cuts whatever is left,
    // so SMSStopSerice still returns within its second.
    constexpr Milliseconds kFinishBudget{600};
    if (m_serving) {
        m_session.requestFinish();
        const auto deadline = Clock::now() + kFinishBudget;
        while (m_serving && Clock::now() < deadline) {
            std::this_thread::sleep_for(Milliseconds(5));
        }
    }
    m_wake.requestStop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_trace.note("service stopped");
}

} // namespace kelbrin
