#include "service.h"

#include "byte_trace.h"
#include "record_writer.h"

#include <cstring>

namespace kelbrin {
namespace {

// SMSStartService never takes longer than this, whatever the modem does.
constexpr Milliseconds kStartDeadline{4800};

// The port map is read afresh at every start, so the trace says each time which device the port
// led to and why (variable, map line or default), or what was wrong with the arguments or the map.
void traceSettings(const SettingsResult& settings) {
    ByteTrace trace = ByteTrace::fromEnvironment();
    if (!settings.error.empty()) {
        trace.note("start refused: " + settings.error.english());
        return;
    }
    const PortSettings& port = settings.settings.port;
    trace.note(describePort(port) + " from " +
               (port.origin.empty() ? std::string("the default") : port.origin.english()));
}

} // namespace

Service::~Service() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycle);
    stopLocked();
}

bool Service::start(const StartArguments& arguments) {
    const auto deadline = Clock::now() + kStartDeadline;
    std::lock_guard<std::mutex> lifecycle(m_lifecycle);
    stopLocked();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_language = processTextLanguage();
    }
    const SettingsResult settings = sessionSettingsFor(arguments, processEnvironment);
    traceSettings(settings);
    OperatorText error = settings.error;
    if (error.empty()) {
        m_worker = ModemWorker::start(settings.settings, *this, m_memory, deadline, error);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_worker) {
        // From here on a lost port is reopened by the worker: the service stays running.
        m_running = true;
        m_wake = &m_worker->wakeSignal();
        return true;
    }
    m_lastError =
        OperatorText(KELBRIN_TEXT("starting the SMS service failed: %1$s"), error).in(m_language);
    return false;
}

bool Service::stop() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycle);
    stopLocked();
    return true;
}

void Service::stopLocked() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
        m_wake = nullptr;
    }
    // Joins the worker: a send in flight ends with its report (the service was stopped).
    m_worker.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    failQueuedSends(
        OperatorText(KELBRIN_TEXT("the service was stopped before the message was sent")));
}

int32_t Service::send(const char* text, const char* number) {
    SendJob job{0, text ? text : "", number ? number : "", Clock::now(), 0, std::nullopt};
    std::lock_guard<std::mutex> lock(m_mutex);
    job.index = m_nextIndex++;
    m_sendStates.push_back(SendState::InProgress);
    const int32_t index = job.index;
    if (!m_running) {
        m_inFlight.emplace(index, std::move(job));
        finishSend(index, SendOutcome::Failed,
                   OperatorText(KELBRIN_TEXT("message %1$s was not sent: the SMS service is not "
                                             "running (start it first)"),
                                index));
    } else if (job.number.empty()) {
        m_inFlight.emplace(index, std::move(job));
        finishSend(
            index, SendOutcome::Failed,
            OperatorText(KELBRIN_TEXT("message %1$s was not sent: no destination number"), index));
    } else {
        m_sendQueue.push_back(std::move(job));
        m_wake->wake();
    }
    return index;
}

bool Service::nextMessage(SMSMessageRecord& record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_messages.empty()) {
        return false;
    }
    ReceivedMessage& message = m_messages.front();
    writeTextField(message.sender, record.sender, sizeof record.sender);
    writeTextField(message.timestamp, record.timestamp, sizeof record.timestamp);
    const std::size_t taken = writeTextField(message.text, record.text, sizeof record.text);
    if (taken < message.text.size()) {
        // The rest continues in the next record, under the same headers.
        message.text.erase(0, taken);
        return true;
    }
    // Its last record is out: only now may it leave the modem.
    if (!message.slots.empty()) {
        m_handedOver.insert(m_handedOver.end(), message.slots.begin(), message.slots.end());
        if (m_wake != nullptr) {
            m_wake->wake();
        }
    }
    m_messages.pop_front();
    return true;
}

bool Service::nextReport(SMSReportRecord& record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_reports.empty()) {
        return false;
    }
    const Report& report = m_reports.front();
    record.index = report.index;
    writeTextField(report.text, record.text, sizeof record.text);
    record.status = report.accepted ? 1 : 0;
    writeTextField(report.number, record.number, sizeof record.number);
    m_reports.pop_front();
    return true;
}

int32_t Service::query(int32_t index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 1 || static_cast<std::size_t>(index) > m_sendStates.size()) {
        return KELBRIN_QUERY_UNKNOWN_INDEX;
    }
    switch (m_sendStates[static_cast<std::size_t>(index) - 1]) {
    case SendState::Sent:
        return KELBRIN_QUERY_SENT;
    case SendState::Failed:
        return KELBRIN_QUERY_FAILED;
    case SendState::InProgress:
        return KELBRIN_QUERY_IN_PROGRESS;
    case SendState::Undetermined:
        return KELBRIN_QUERY_UNDETERMINED;
    }
    return KELBRIN_QUERY_UNKNOWN_INDEX;
}

int32_t Service::lastError(char* buffer) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_lastError.empty()) {
        return 0;
    }
    return static_cast<int32_t>(writeTextField(m_lastError, buffer, KELBRIN_ERROR_TEXT_SIZE));
}

std::optional<SendJob> Service::takeSendJob() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_sendQueue.empty()) {
        return std::nullopt;
    }
    SendJob job = std::move(m_sendQueue.front());
    m_sendQueue.pop_front();
    m_inFlight.emplace(job.index, job);
    return job;
}

void Service::sendFinished(int32_t index, SendOutcome outcome, const OperatorText& error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    finishSend(index, outcome, error);
}

void Service::deliveryKnown(int32_t index, DeliveryOutcome outcome) {
    std::lock_guard<std::mutex> lock(m_mutex);
    SendState* state = stateOf(index);
    if (state != nullptr && outcome == DeliveryOutcome::Failed) {
        *state = SendState::Failed;
        m_lastError = OperatorText(KELBRIN_TEXT("message %1$s was not delivered: the network "
                                                "reported a permanent failure"),
                                   index)
                          .in(m_language);
    }
}

void Service::messageReceived(ReceivedMessage message) {
    replaceNulCharacters(message.sender);
    replaceNulCharacters(message.text);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(std::move(message));
}

std::size_t Service::messagesWaiting() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.size();
}

std::vector<MessageSlot> Service::takeHandedOverSlots() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<MessageSlot> slots;
    slots.swap(m_handedOver);
    return slots;
}

void Service::problem(const OperatorText& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = text.in(m_language);
}

void Service::sendInterrupted(SendJob job) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inFlight.erase(job.index);
    m_sendQueue.push_front(std::move(job));
}

void Service::connectionLost(const OperatorText& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = text.in(m_language);
}

void Service::connectionBack() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError.clear();
}

void Service::failSendsCalledBefore(Clock::time_point limit, const OperatorText& reason) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto job = m_sendQueue.begin(); job != m_sendQueue.end();) {
        if (job->calledAt >= limit) {
            ++job;
            continue;
        }
        const int32_t index = job->index;
        m_inFlight.emplace(index, std::move(*job));
        job = m_sendQueue.erase(job);
        finishSend(index, SendOutcome::Failed,
                   OperatorText(KELBRIN_TEXT("message %1$s was not sent: %2$s"), index, reason));
    }
}

void Service::failQueuedSends(const OperatorText& reason) {
    while (!m_sendQueue.empty()) {
        SendJob job = std::move(m_sendQueue.front());
        m_sendQueue.pop_front();
        const int32_t index = job.index;
        m_inFlight.emplace(index, std::move(job));
        finishSend(index, SendOutcome::Failed,
                   OperatorText(KELBRIN_TEXT("message %1$s: %2$s"), index, reason));
    }
}

void Service::finishSend(int32_t index, SendOutcome outcome, const OperatorText& error) {
    const auto job = m_inFlight.find(index);
    if (job == m_inFlight.end()) {
        return; // one report per call, never a second
    }
    // The report's status is two-valued: an undetermined send was not accepted either.
    const bool accepted = outcome == SendOutcome::Sent;
    m_reports.push_back(Report{index, job->second.text, job->second.number, accepted});
    m_inFlight.erase(job);
    if (SendState* state = stateOf(index)) {
        *state = outcome == SendOutcome::Sent     ? SendState::Sent
                 : outcome == SendOutcome::Failed ? SendState::Failed
                                                  : SendState::Undetermined;
    }
    if (!accepted) {
        m_lastError = error.in(m_language);
    }
}

Service::SendState* Service::stateOf(int32_t index) {
    if (index < 1 || static_cast<std::size_t>(index) > m_sendStates.size()) {
        return nullptr;
    }
    return &m_sendStates[static_cast<std::size_t>(index) - 1];
}

} // namespace kelbrin
