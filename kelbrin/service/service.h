#pragma once

// libkelbrin.so, from the C interface down to the wire:
//
//   service/   kelbrin_api.cpp  the seven entry points; each catches everything
//              Service          state the entry points read, under one lock; owns the worker
//              service_options  SMSStartService's arguments -> SessionSettings
//              record_writer    fixed record fields, cut on UTF-8 character boundaries
//              kelbrin.map      exports exactly the seven entry points
//   modem/     ModemWorker      the one thread that owns the port
//              ModemHandshake   the start-up dialogue with its fallbacks and deadline
//              ModemSession     sends, indications, stored messages, status reports, restarts
//              SessionMemory    what outlives a stop: delivered messages, sent parts, references
//              DeliveryTracker, MessageReassembler, DeliveredMessages, submit_builder,
//              send_outcome (sent, failed or undetermined), modem_error_text (operator texts for
//              +CMS/+CME numbers)
//   at/        AtReader         byte-fed tokenizer: echo, responses, finals, URCs, prompt
//              AtChannel        one command at a time with timeouts; URCs kept wherever they come;
//                               drains and resynchronises after an answer out of step
//              at_parsers       pure parsers of response and URC lines
//              ByteTrace        KELBRIN_TRACE;  WakeSignal  eventfd that interrupts the worker
//   serial/    openSerialPort   exclusive raw 8N1 open; port_path (COM<N> -> device),
//              baud_rate, port_diagnostics (operator texts for missing/forbidden/busy ports)
//   text/      OperatorText     operator texts: English for the trace, the locale's language for
//                               the last error; the embedded po/zh_CN.po catalogue
//   fuzz/      the AT reader's fuzz target (libFuzzer; the tests replay its seeds)

#include "kelbrin.h"
#include "modem_worker.h"
#include "service_options.h"
#include "service_sink.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kelbrin {

/// Everything behind the seven entry points. The entry points other than start and stop only
/// touch the queues below under m_mutex and return at once; the modem worker fills them through
/// ServiceSink. Start and stop are serialised by m_lifecycle, which the other entry points never
/// take, so they stay responsive while a start waits for the modem.
class Service : public ServiceSink {
public:
    Service() = default;
    ~Service() override;
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    bool start(const StartArguments& arguments);
    bool stop();
    int32_t send(const char* text, const char* number);
    bool nextMessage(SMSMessageRecord& record);
    bool nextReport(SMSReportRecord& record);
    /// One of the KELBRIN_QUERY_* values.
    int32_t query(int32_t index) const;
    /// Length of the text written into @p buffer (KELBRIN_ERROR_TEXT_SIZE bytes), 0 when none.
    int32_t lastError(char* buffer) const;

    // ServiceSink, called on the worker thread.
    std::optional<SendJob> takeSendJob() override;
    void sendFinished(int32_t index, SendOutcome outcome, const OperatorText& error) override;
    void deliveryKnown(int32_t index, DeliveryOutcome outcome) override;
    void messageReceived(ReceivedMessage message) override;
    std::size_t messagesWaiting() override;
    std::vector<MessageSlot> takeHandedOverSlots() override;
    void problem(const OperatorText& text) override;
    void sendInterrupted(SendJob job) override;
    void connectionLost(const OperatorText& text) override;
    void connectionBack() override;
    void failSendsCalledBefore(Clock::time_point limit, const OperatorText& reason) override;

private:
    enum class SendState : uint8_t { InProgress, Sent, Failed, Undetermined };
    struct Report {
        int32_t index;
        std::string text;
        std::string number;
        bool accepted;
    };

    void stopLocked();
    /// Fails every queued send with @p reason (m_mutex held).
    void failQueuedSends(const OperatorText& reason);
    void finishSend(int32_t index, SendOutcome outcome, const OperatorText& error);
    /// The state of @p index; nullptr when no send has it.
    SendState* stateOf(int32_t index);

    std::mutex m_lifecycle;
    std::unique_ptr<ModemWorker> m_worker; // guarded by m_lifecycle
    SessionMemory m_memory;                // used by the one worker there is

    mutable std::mutex m_mutex;
    bool m_running = false;
    WakeSignal* m_wake = nullptr;
    int32_t m_nextIndex = 1;
    std::deque<SendJob> m_sendQueue;
    std::map<int32_t, SendJob> m_inFlight; // taken by the worker, no report yet
    /// The state of every index handed out, index 1 first (indices are dense from 1): a byte a
    /// send, so SMSQuery answers for each send of a run of weeks (a send a second is 0.6 MB a
    /// week); everything else about a send goes with its report. A deque grows by blocks, never
    /// copying what it holds under the lock the entry points wait for.
    std::deque<SendState> m_sendStates;
    std::deque<Report> m_reports;
    std::deque<ReceivedMessage> m_messages;
    /// Slots of messages the caller took; the worker deletes them (the next one, after a stop).
    std::vector<MessageSlot> m_handedOver;
    /// Read from the locale at each start: the language of the last error until the next one.
    TextLanguage m_language = TextLanguage::English;
    std::string m_lastError; ///< rendered in m_language
};

} // namespace kelbrin
