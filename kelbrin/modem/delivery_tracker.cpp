#include "delivery_tracker.h"

#include <sms/status.h>

#include <algorithm>
#include <cctype>

namespace kelbrin {
namespace {

// Service centres keep trying for days (the default validity period); a report arriving later
// than this belongs to a message that is not ours any more.
constexpr std::chrono::hours kReportWindow{72};

} // namespace

std::string numberDigits(const std::string& number) {
    std::string digits;
    for (char c : number) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digits.push_back(c);
        }
    }
    return digits;
}

bool sameSubscriber(const std::string& sentDigits, const std::string& reportedDigits) {
    // The subscriber number proper: 7 digits is the shortest in national plans (E.164 §6.2.1),
    // and the part every written form of a number keeps.
    constexpr std::size_t kSubscriberDigits = 7;
    if (reportedDigits.empty()) {
        return true;
    }
    if (sentDigits.size() < kSubscriberDigits || reportedDigits.size() < kSubscriberDigits) {
        return sentDigits == reportedDigits;
    }
    return sentDigits.compare(sentDigits.size() - kSubscriberDigits, kSubscriberDigits,
                              reportedDigits, reportedDigits.size() - kSubscriberDigits,
                              kSubscriberDigits) == 0;
}

void DeliveryTracker::partSent(int32_t index, int partsInMessage, uint8_t reference,
                               const std::string& number, TimePoint at) {
    forgetOlderThan(at - kReportWindow);
    m_parts.push_back(Part{index, reference, numberDigits(number), at});
    m_messages[index].partsTotal = partsInMessage;
}

DeliveryTracker::Verdict DeliveryTracker::reportReceived(uint8_t reference,
                                                         const std::string& recipient,
                                                         uint8_t status, TimePoint at) {
    const std::string digits = numberDigits(recipient);
    const auto matches = [&](const Part& candidate) {
        return candidate.reference == reference && candidate.sentAt + kReportWindow >= at &&
               sameSubscriber(candidate.digits, digits);
    };
    // The newest matching part still waiting: after the 8-bit reference wraps, older parts share
    // it. A repeated report for a part already delivered matches but changes nothing.
    auto part = std::find_if(m_parts.rbegin(), m_parts.rend(), [&](const Part& candidate) {
        return matches(candidate) && !candidate.delivered;
    });
    if (part == m_parts.rend()) {
        return Verdict{std::any_of(m_parts.begin(), m_parts.end(), matches), std::nullopt};
    }
    Verdict verdict{true, std::nullopt};
    auto message = m_messages.find(part->index);
    if (message == m_messages.end() || message->second.decided) {
        return verdict;
    }
    switch (sms::classifyStatus(status)) {
    case sms::StatusClass::Delivered:
        part->delivered = true;
        if (++message->second.partsDelivered >= message->second.partsTotal) {
            message->second.decided = true;
            verdict.decided = std::make_pair(part->index, DeliveryOutcome::Delivered);
        }
        return verdict;
    case sms::StatusClass::Failed:
        message->second.decided = true;
        verdict.decided = std::make_pair(part->index, DeliveryOutcome::Failed);
        return verdict;
    case sms::StatusClass::StillTrying:
    case sms::StatusClass::Reserved:
        // Reserved values have no meaning: no delivery failure is known, so nothing changes.
        return verdict;
    }
    return verdict;
}

void DeliveryTracker::forgetOlderThan(TimePoint limit) {
    m_parts.erase(std::remove_if(m_parts.begin(), m_parts.end(),
                                 [&](const Part& part) {
                                     if (part.sentAt >= limit) {
                                         return false;
                                     }
                                     m_messages.erase(part.index);
                                     return true;
                                 }),
                  m_parts.end());
}

} // namespace kelbrin
