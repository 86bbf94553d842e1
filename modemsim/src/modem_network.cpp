// The network side of Modem: accepting a send, status reports, loopback and incoming messages.

#include "modem.h"

#include "pdu_factory.h"

#include <sms/hex.h>

namespace modemsim {

namespace {

std::string digitsOf(const std::string& number) {
    std::string digits;
    for (char c : number) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        }
    }
    return digits;
}

// National and international forms of one number match by their trailing digits, as oFono
// matches status reports (unit/test-sms.c test_sr_assembly).
bool sameNumber(const std::string& a, const std::string& b) {
    std::string x = digitsOf(a);
    std::string y = digitsOf(b);
    if (x.empty() || y.empty()) {
        return false;
    }
    if (x.size() < y.size()) {
        std::swap(x, y);
    }
    return x.compare(x.size() - y.size(), y.size(), y) == 0;
}

// The recipient as the service centre writes it into the report (TP-RA), in the number form of
// its network rather than the one the SUBMIT used. Numbers of other countries, and numbers not
// in the form being rewritten, stay as sent.
sms::Address reportedRecipient(const sms::Address& sent, const Settings& settings) {
    const std::string international = "+" + settings.countryCode;
    const std::string& number = sent.text;
    if (settings.reportNumber == ReportNumber::National && number.rfind(international, 0) == 0) {
        return sms::Address{settings.trunkPrefix + number.substr(international.size()),
                            sms::kTypeNational};
    }
    const bool national = !number.empty() && number[0] != '+' &&
                          number.find_first_not_of("0123456789") == std::string::npos;
    if (settings.reportNumber == ReportNumber::International && national &&
        number.rfind(settings.trunkPrefix, 0) == 0) {
        return sms::makeAddress(international + number.substr(settings.trunkPrefix.size()));
    }
    return sent;
}

constexpr std::uint8_t kDelivered = 0x00;
constexpr std::uint8_t kSmeBusy = 0x21;
constexpr std::uint8_t kRemoteProcedureError = 0x40;
constexpr std::uint8_t kValidityExpired = 0x46;

} // namespace

Modem::Reply Modem::submit(const sms::ReceivedPdu& pdu) {
    const auto& message = std::get<sms::Submit>(pdu.tpdu);
    ++m_counters.sendAttempts;
    if (m_faults.failSend == m_counters.sendAttempts) {
        return cmsError(m_faults.failSendCode);
    }
    if (!registeredForSms()) {
        return cmsError(331);
    }
    if (!pdu.serviceCentre && m_settings.smsc.empty()) {
        return cmsError(330);
    }
    std::uint8_t reference = m_nextReference++;
    ++m_counters.messagesAccepted;
    m_counters.lastReference = reference;

    Clock::time_point accepted = m_now + m_faults.commandDelay + m_settings.sendDelay;
    sms::Timestamp submitted = currentTimestamp();
    if (message.statusReportRequest) {
        for (const PlannedReport& planned : plannedReports()) {
            auto report =
                statusReportPdu(reference, reportedRecipient(message.destination, m_settings),
                                submitted, planned.status, m_settings.smsc);
            if (report) {
                m_timers.schedule(accepted + planned.after,
                                  [this, report = report.value()](Clock::time_point) {
                                      showStatusReport(report);
                                  });
            }
        }
    }
    if (sameNumber(message.destination.text, m_settings.loopbackNumber)) {
        m_timers.schedule(accepted + m_settings.loopbackDelay, [this, message](Clock::time_point) {
            auto back = loopbackPdu(message, m_settings.smsc, currentTimestamp());
            if (back) {
                offerIncoming(back.value());
            }
        });
    }
    Reply reply = sendResult(reference);
    reply.extraDelay = m_settings.sendDelay;
    return reply;
}

Modem::Reply Modem::sendResult(std::uint8_t reference) const {
    switch (m_faults.sendResult) {
    case SendResult::Error500:
        return cmsError(500);
    case SendResult::Error:
        return finalResult("ERROR");
    case SendResult::Standard:
    case SendResult::None:
        break;
    }
    Reply reply = info({"+CMGS: " + std::to_string(reference)});
    if (m_faults.sendResult == SendResult::None) {
        reply.lines.clear(); // no result at all
        reply.final.reset();
    }
    return reply;
}

std::vector<Modem::PlannedReport> Modem::plannedReports() const {
    auto delay = m_settings.reportDelay;
    switch (m_settings.reportOutcome) {
    case ReportOutcome::Delivered:
        return {{delay, kDelivered}};
    case ReportOutcome::Failed:
        return {{delay, kRemoteProcedureError}};
    case ReportOutcome::Expired:
        return {{delay, kValidityExpired}};
    case ReportOutcome::TryingThenFinal:
        return {{delay, kSmeBusy}, {2 * delay, kDelivered}};
    case ReportOutcome::None:
        return {};
    }
    return {};
}

void Modem::showStatusReport(const sms::OutgoingPdu& pdu) {
    int ds = m_cnmi[3];
    if (ds == 1) {
        ++m_counters.reportsShown;
        route(Routed{true, pdu});
        return;
    }
    std::string memory = m_faults.reportsInSm ? "SM" : "SR";
    auto index = ds == 2 && !memoryFull(memory)
                     ? m_store.add(memory, pdu.hex, pdu.tpduLength, MessageStat::ReceivedUnread)
                     : std::nullopt;
    if (!index) {
        ++m_counters.reportsDropped;
        return;
    }
    ++m_counters.reportsShown;
    emitUrc("\r\n+CDSI: \"" + memory + "\"," + std::to_string(*index) + "\r\n");
}

bool Modem::memoryFull(const std::string& memory) const {
    return m_faults.storageFull || m_store.used(memory) >= m_store.capacity(memory);
}

void Modem::offerIncoming(const sms::OutgoingPdu& pdu) {
    int mt = m_cnmi[1];
    if (mt == 2) {
        ++m_counters.messagesReceived;
        route(Routed{false, pdu});
        return;
    }
    const std::string& memory = m_memories[2];
    auto index = memoryFull(memory)
                     ? std::nullopt
                     : m_store.add(memory, pdu.hex, pdu.tpduLength, MessageStat::ReceivedUnread);
    if (!index) {
        // The network keeps a message the phone has no room for and tries again later
        // (TS 23.040 memory capacity exceeded, then SMMA).
        m_waiting.push_back(pdu);
        m_counters.messagesWaiting = static_cast<int>(m_waiting.size());
        return;
    }
    ++m_counters.messagesReceived;
    if (mt == 0) {
        return;
    }
    if (m_faults.routeAndStore) {
        emitUrc(routedWire(Routed{false, pdu})); // shown as stored: nothing to acknowledge
    }
    std::string fields = m_faults.mmsPushIndication ? mmsPushFields(pdu) : std::string();
    emitUrc("\r\n+CMTI: \"" + memory + "\"," + std::to_string(*index) + fields + "\r\n");
}

std::string Modem::mmsPushFields(const sms::OutgoingPdu& pdu) {
    // SIM900 MMS AT Command Manual V1.04 (serialport-gsm issue 60): "MMS PUSH" after the
    // index, and for a part of a concatenated push ",<m>,<n>": parts in all, this part.
    std::string fields = ",\"MMS PUSH\"";
    auto decoded = sms::decodePdu(pdu.hex, pdu.tpduLength);
    if (decoded) {
        if (const auto* deliver = std::get_if<sms::Deliver>(&decoded->tpdu)) {
            const auto& parts = deliver->userData.concatenation;
            if (parts && parts->total > 1) {
                fields +=
                    "," + std::to_string(parts->total) + "," + std::to_string(parts->sequence);
            }
        }
    }
    return fields;
}

std::string Modem::routedWire(const Routed& routed) const {
    std::string length = std::to_string(routed.pdu.tpduLength);
    std::string header = !routed.report                         ? "+CMT: ," + length
                         : m_faults.cdsForm == CdsForm::NoSpace ? "+CDS:" + length
                         : m_faults.cdsForm == CdsForm::Comma   ? "+CDS: ," + length
                                                                : "+CDS: " + length;
    return "\r\n" + header + "\r\n" + routed.pdu.hex + "\r\n";
}

bool Modem::acknowledgementsOwed() const {
    // Only for what reaches this terminal: in mode 0 the codes stay in the modem, and with the
    // indications on another port that port owes them.
    return (m_csmsService == 1 || m_faults.csmsStuck) && m_cnmi[0] != 0 &&
           !m_faults.indicationsElsewhere;
}

void Modem::route(const Routed& routed) {
    if (!acknowledgementsOwed()) {
        // Service 0: the modem acknowledges to the network itself (27.005 §3.4.1).
        emitUrc(routedWire(routed));
        return;
    }
    if (m_unacknowledged) {
        // "TA shall not send another +CMT or +CDS result code to TE before previous one is
        // acknowledged" (27.005 §3.4.4).
        m_routedWaiting.push_back(routed);
        return;
    }
    m_unacknowledged = routed;
    emitUrc(routedWire(routed));
    m_timers.schedule(m_now + m_settings.acknowledgeTimeout,
                      [this, which = ++m_routedCount](Clock::time_point) {
                          if (which == m_routedCount && m_unacknowledged) {
                              acknowledgementMissed();
                          }
                      });
}

void Modem::acknowledgementMissed() {
    // 27.005 §3.4.4: the ME answers the network with RP-ERROR and sets +CNMI <mt> and <ds> to 0.
    // The network tries again: with mt 0 the message is stored without an indication; with ds 0
    // the report is not shown (BenQ M32 AT list: the message goes to non-volatile memory).
    m_cnmi[1] = 0;
    m_cnmi[3] = 0;
    std::deque<Routed> again = std::exchange(m_routedWaiting, {});
    again.push_front(*std::exchange(m_unacknowledged, std::nullopt));
    for (const Routed& routed : again) {
        deliverAgain(routed);
    }
}

void Modem::deliverAgain(const Routed& routed) {
    if (routed.report) {
        --m_counters.reportsShown;
        showStatusReport(routed.pdu);
    } else {
        --m_counters.messagesReceived;
        offerIncoming(routed.pdu);
    }
}

void Modem::retryWaiting() {
    while (!m_waiting.empty() && !memoryFull(m_memories[2])) {
        sms::OutgoingPdu pdu = m_waiting.front();
        m_waiting.pop_front();
        offerIncoming(pdu);
    }
    m_counters.messagesWaiting = static_cast<int>(m_waiting.size());
}

void Modem::retryWaitingSoon() {
    if (!m_waiting.empty()) {
        m_timers.schedule(m_now, [this](Clock::time_point) { retryWaiting(); });
    }
}

std::optional<std::string> Modem::deliverMessage(const IncomingMessage& message) {
    auto pdus = deliverPdus(message, m_settings.smsc, m_nextConcatReference++, currentTimestamp());
    if (auto* error = std::get_if<std::string>(&pdus)) {
        return *error;
    }
    for (const sms::OutgoingPdu& pdu : std::get<std::vector<sms::OutgoingPdu>>(pdus)) {
        offerIncoming(pdu);
    }
    return std::nullopt;
}

} // namespace modemsim
