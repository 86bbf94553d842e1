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

bool sameSubscriber(const std::string& digitsA, const std::string& digitsB) {
    // Trunk and international prefixes ("0152...", "0049...") are not part of the subscriber.
    const auto significant = [](const std::string& digits) {
        return digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
    };
    const std::string a = significant(digitsA);
    const std::string b = significant(digitsB);
    if (a.empty() || b.empty()) {
        return false;
    }
    const auto& shorter = a.size() <= b.size() ? a : b;
    const auto& longer = a.size() <= b.size() ? b : a;
    return longer.compare(longer.size() - shorter.size(), shorter.size(), shorter) == 0;
}

void DeliveryTracker::partSent(int32_t index, int partsInMessage, uint8_t reference,
                               const std::string& number, TimePoint at) {
    forgetOlderThan(at - kReportWindow);
    m_parts.push_back(Part{index, reference, numberDigits(number), at});
    m_messages[index].partsTotal = partsInMessage;
}

std::optional<std::pair<int32_t, DeliveryOutcome>>
DeliveryTracker::reportReceived(uint8_t reference, const std::string& recipient, uint8_t status,
                                TimePoint at) {
    const std::string digits = numberDigits(recipient);
    // The newest matching part: after the 8-bit reference wraps, older parts share it.
    auto part = std::find_if(m_parts.rbegin(), m_parts.rend(), [&](const Part& candidate) {
        return candidate.reference == reference && !candidate.delivered &&
               candidate.sentAt + kReportWindow >= at && sameSubscriber(candidate.digits, digits);
    });
    if (part == m_parts.rend()) {
        return std::nullopt;
    }
    auto message = m_messages.find(part->index);
    if (message == m_messages.end() || message->second.decided) {
        return std::nullopt;
    }
    switch (sms::classifyStatus(status)) {
    case sms::StatusClass::Delivered:
        part->delivered = true;
        if (++message->second.partsDelivered < message->second.partsTotal) {
            return std::nullopt;
        }
        message->second.decided = true;
        return std::make_pair(part->index, DeliveryOutcome::Delivered);
    case sms::StatusClass::Failed:
        message->second.decided = true;
        return std::make_pair(part->index, DeliveryOutcome::Failed);
    case sms::StatusClass::StillTrying:
    case sms::StatusClass::Reserved:
        // Reserved values have no meaning: no delivery failure is known, so nothing changes.
        return std::nullopt;
    }
    return std::nullopt;
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
