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
    Part part;
    part.sentAt = at;
    part.digits = numberDigits(number);
    part.index = index;
    part.partsInMessage = partsInMessage;
    part.reference = reference;
    m_parts.push_back(std::move(part));
}

DeliveryTracker::Verdict DeliveryTracker::reportReceived(uint8_t reference,
                                                         const std::string& recipient,
                                                         uint8_t status, TimePoint at) {
    forgetOlderThan(at - kReportWindow);
    const std::string digits = numberDigits(recipient);
    const auto matches = [&](const Part& candidate) {
        return candidate.index != 0 && candidate.reference == reference &&
               candidate.sentAt + kReportWindow >= at && sameSubscriber(candidate.digits, digits);
    };
    // The newest matching part still waiting: after the 8-bit reference wraps, older parts share
    // it. A repeated report for a part already delivered, or of a message already decided,
    // matches but changes nothing.
    auto part = std::find_if(m_parts.rbegin(), m_parts.rend(), [&](const Part& candidate) {
        return matches(candidate) && !candidate.delivered;
    });
    if (part == m_parts.rend()) {
        return Verdict{std::any_of(m_parts.begin(), m_parts.end(), matches) ||
                           std::any_of(m_settled.begin(), m_settled.end(), matches),
                       std::nullopt};
    }
    Verdict verdict{true, std::nullopt};
    const int32_t index = part->index;
    switch (sms::classifyStatus(status)) {
    case sms::StatusClass::Delivered: {
        part->delivered = true;
        const auto delivered = std::count_if(m_parts.begin(), m_parts.end(), [&](const Part& p) {
            return p.index == index && p.delivered;
        });
        if (delivered >= part->partsInMessage) {
            settle(index);
            verdict.decided = std::make_pair(index, DeliveryOutcome::Delivered);
        }
        return verdict;
    }
    case sms::StatusClass::Failed:
        settle(index);
        verdict.decided = std::make_pair(index, DeliveryOutcome::Failed);
        return verdict;
    case sms::StatusClass::StillTrying:
    case sms::StatusClass::Reserved:
        // Reserved values have no meaning: no delivery failure is known, so nothing changes.
        return verdict;
    }
    return verdict;
}

void DeliveryTracker::settle(int32_t index) {
    m_parts.erase(std::remove_if(m_parts.begin(), m_parts.end(),
                                 [&](Part& part) {
                                     if (part.index != index) {
                                         return false;
                                     }
                                     m_settled[m_nextSettled] = std::move(part);
                                     m_nextSettled = (m_nextSettled + 1) % kSettledKept;
                                     return true;
                                 }),
                  m_parts.end());
}

void DeliveryTracker::forgetOlderThan(TimePoint limit) {
    m_parts.erase(std::remove_if(m_parts.begin(), m_parts.end(),
                                 [&](const Part& part) { return part.sentAt < limit; }),
                  m_parts.end());
}

} // namespace kelbrin
