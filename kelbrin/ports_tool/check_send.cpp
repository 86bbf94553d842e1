#include "check_send.h"

#include "at_parsers.h"
#include "at_text.h"
#include "modem_error_text.h"
#include "submit_builder.h"

#include "sms/pdu.h"
#include "sms/status.h"

#include <array>
#include <cstdio>
#include <random>

namespace kelbrin {
namespace {

constexpr Milliseconds kCommandTimeout{3000};
constexpr Milliseconds kPromptTimeout{20000};
// Networks take up to 120 s to accept a message (Quectel); a check does not wait that long for
// what follows: the report and the message back come within seconds on a working network.
constexpr Milliseconds kResultTimeout{120000};
constexpr Milliseconds kAfterwardsBudget{60000};
// Reports inline (+CDS, ds=1) first: a stored report would stay in the modem's memory. Mode 2
// first as the service does, mode 1 where a modem refuses it (oFono, MSM/Huawei/ZTE).
constexpr std::array<const char*, 2> kCheckIndications{"2,1,0,1,0", "1,1,0,1,0"};

/// "2.3": seconds with one decimal, for the texts' "%1$s s".
std::string seconds(Clock::duration elapsed) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", std::chrono::duration<double>(elapsed).count());
    return text;
}

/// Digits only, for comparing a number as sent with the originator the network gives.
std::string digitsOf(const std::string& number) {
    std::string digits;
    for (const char c : number) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        }
    }
    return digits;
}

/// The same subscriber: equal digits, or one number the national form of the other (the last
/// nine digits agree; networks rewrite +31612345678 as 0612345678).
bool sameNumber(const std::string& a, const std::string& b) {
    constexpr std::size_t kSubscriberDigits = 9;
    const std::string x = digitsOf(a);
    const std::string y = digitsOf(b);
    if (x == y) {
        return !x.empty();
    }
    return x.size() >= kSubscriberDigits && y.size() >= kSubscriberDigits &&
           x.substr(x.size() - kSubscriberDigits) == y.substr(y.size() - kSubscriberDigits);
}

class RoundTrip {
public:
    RoundTrip(AtChannel& channel, std::string number, ModemChecklist& check)
        : m_channel(channel), m_number(std::move(number)), m_check(check) {}

    void run() {
        if (!enableIndications()) {
            return;
        }
        if (send()) {
            awaitReportAndReply();
        }
        ask("AT+CNMI=" + m_indicationsBefore);
    }

private:
    AtReply ask(const std::string& command) {
        return m_channel.execute(AtCommand{command, kCommandTimeout});
    }

    bool enableIndications() {
        const AtReply before = ask("AT+CNMI?");
        const AtEvent* line = before.ok() ? before.firstResponse() : nullptr;
        const std::size_t colon = line ? line->line.find(':') : std::string::npos;
        if (colon == std::string::npos) {
            m_check.add(OperatorText(KELBRIN_TEXT("send")), Verdict::Fail,
                        OperatorText(KELBRIN_TEXT("not sent: the modem did not tell its "
                                                  "indication settings (AT+CNMI?), so they "
                                                  "could not be set back")));
            return false;
        }
        m_indicationsBefore = std::string(trim(std::string_view(line->line).substr(colon + 1)));
        const AtReply service = ask("AT+CSMS?");
        const AtEvent* serviceLine = service.ok() ? service.firstResponse() : nullptr;
        m_acknowledge = serviceLine && parseInt(responseFields(serviceLine->line).front()) == 1;
        for (const char* setting : kCheckIndications) {
            if (ask(std::string("AT+CNMI=") + setting).ok()) {
                return true;
            }
        }
        m_check.add(OperatorText(KELBRIN_TEXT("send")), Verdict::Fail,
                    OperatorText(KELBRIN_TEXT("not sent: the modem refuses to pass status reports "
                                              "and new-message indications on this port "
                                              "(AT+CNMI=2,1,0,1,0 and 1,1,0,1,0)")));
        return false;
    }

    bool send() {
        std::random_device random;
        const SubmitPlan plan =
            buildSubmitParts("Vantrel modem check", m_number, static_cast<uint8_t>(random()));
        if (!plan.error.empty()) {
            m_check.add(OperatorText(KELBRIN_TEXT("send")), Verdict::Fail, plan.error);
            return false;
        }
        const SubmitPart& part = plan.parts.front();
        m_sent = Clock::now();
        const AtReply reply =
            m_channel.sendPdu(part.tpduLength, part.hex, kPromptTimeout, kResultTimeout);
        const AtEvent* line = reply.ok() ? reply.firstResponse() : nullptr;
        const auto reference = line ? parseCmgsResponse(line->line) : std::nullopt;
        if (!reference) {
            m_check.add(OperatorText(KELBRIN_TEXT("send")), Verdict::Fail,
                        describeFailure(OperatorText(KELBRIN_TEXT("sending to %1$s"), m_number),
                                        reply, m_channel.lostReason()));
            return false;
        }
        m_reference = *reference;
        m_check.add(OperatorText(KELBRIN_TEXT("send")), Verdict::Ok,
                    OperatorText(KELBRIN_TEXT("accepted by the network after %1$s s (+CMGS: %2$s)"),
                                 seconds(Clock::now() - m_sent), *reference));
        return true;
    }

    void awaitReportAndReply() {
        const auto end = Clock::now() + kAfterwardsBudget;
        while ((m_report.empty() || m_reply.empty()) && Clock::now() < end &&
               !m_channel.portLost()) {
            m_channel.waitForActivity(std::chrono::duration_cast<Milliseconds>(end - Clock::now()));
            for (const AtEvent& urc : m_channel.takeUrcs()) {
                if (startsWith(urc.line, "+CDS:")) {
                    takeReport(urc.pdu);
                } else if (const auto stored = parseCmtiUrc(urc.line);
                           stored && startsWith(urc.line, "+CMTI:")) {
                    takeMessage(*stored);
                }
            }
        }
        const std::string waited = seconds(kAfterwardsBudget);
        if (m_report.empty()) {
            m_check.add(OperatorText(KELBRIN_TEXT("report")), Verdict::Warn,
                        OperatorText(KELBRIN_TEXT("no status report within %1$s s"), waited),
                        OperatorText(KELBRIN_TEXT("some networks send none; the console's "
                                                  "outcome stays \"pending\"")));
        } else {
            m_check.add(OperatorText(KELBRIN_TEXT("report")), m_reportVerdict, m_report);
        }
        if (m_reply.empty()) {
            m_check.add(
                OperatorText(KELBRIN_TEXT("reply")), Verdict::Warn,
                OperatorText(KELBRIN_TEXT("no message from %1$s within %2$s s"), m_number, waited),
                OperatorText(KELBRIN_TEXT("one comes back only when the number is this "
                                          "modem's own or an echo service")));
        } else {
            m_check.add(OperatorText(KELBRIN_TEXT("reply")), Verdict::Ok, m_reply);
        }
    }

    void takeReport(const std::string& pdu) {
        if (m_acknowledge) {
            ask("AT+CNMA"); // under message service 1 the network waits for it
        }
        const auto decoded = sms::decodePdu(pdu);
        const auto* report = decoded ? std::get_if<sms::StatusReport>(&decoded->tpdu) : nullptr;
        if (report == nullptr || report->messageReference != m_reference || !m_report.empty()) {
            return;
        }
        char status[8];
        std::snprintf(status, sizeof status, "%02X", report->status);
        const std::string after = seconds(Clock::now() - m_sent);
        switch (sms::classifyStatus(report->status)) {
        case sms::StatusClass::Delivered:
            m_report =
                OperatorText(KELBRIN_TEXT("delivered after %1$s s (TP-ST %2$s)"), after, status);
            break;
        case sms::StatusClass::StillTrying:
            return; // the final report follows
        case sms::StatusClass::Failed:
        case sms::StatusClass::Reserved:
            m_report = OperatorText(KELBRIN_TEXT("not delivered after %1$s s (TP-ST %2$s)"), after,
                                    status);
            m_reportVerdict = Verdict::Fail;
            break;
        }
    }

    void takeMessage(const StoredIndication& stored) {
        const AtReply reply = ask("AT+CMGR=" + std::to_string(stored.index));
        const AtEvent* line = reply.ok() ? reply.firstResponse() : nullptr;
        const auto decoded = line ? sms::decodePdu(line->pdu, parseCmgrLength(line->line))
                                  : sms::Result<sms::ReceivedPdu>(sms::Error::Truncated);
        const auto* deliver = decoded ? std::get_if<sms::Deliver>(&decoded->tpdu) : nullptr;
        if (deliver == nullptr || !sameNumber(deliver->originator.text, m_number) ||
            !m_reply.empty()) {
            return;
        }
        m_reply = OperatorText(KELBRIN_TEXT("a message from %1$s came back after %2$s s; left in "
                                            "%3$s at index %4$s, read but not deleted: the "
                                            "service takes it at its next Start"),
                               deliver->originator.text, seconds(Clock::now() - m_sent),
                               stored.storage, stored.index);
    }

    AtChannel& m_channel;
    const std::string m_number;
    ModemChecklist& m_check;
    std::string m_indicationsBefore;
    bool m_acknowledge = false;
    Clock::time_point m_sent;
    int m_reference = -1;
    OperatorText m_report;
    Verdict m_reportVerdict = Verdict::Ok;
    OperatorText m_reply;
};

} // namespace

void sendThereAndBack(AtChannel& channel, const std::string& number, ModemChecklist& check) {
    RoundTrip(channel, number, check).run();
}

} // namespace kelbrin
