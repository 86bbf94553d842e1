#pragma once

#include "service_sink.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelbrin {

/// Matches status reports to the parts that were sent. A report names the part by TP-MR (8 bits,
/// wraps) and recipient (in whatever form the network likes: "+4915259911630" for a message sent
/// to "9911630"), so a part matches on the reference, on trailing digits of the number, and only
/// within a time window. A multi-part message counts as delivered only when every part is, and as
/// failed as soon as one part fails for good (oFono's rule, unit/test-sms.c test_sr_assembly).
class DeliveryTracker {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    /// Remembers part @p reference of message @p index, sent at @p at.
    void partSent(int32_t index, int partsInMessage, uint8_t reference, const std::string& number,
                  TimePoint at);
    /// Applies a report; returns the message's outcome when this report decides it.
    std::optional<std::pair<int32_t, DeliveryOutcome>>
    reportReceived(uint8_t reference, const std::string& recipient, uint8_t status, TimePoint at);

private:
    struct Part {
        int32_t index;
        uint8_t reference;
        std::string digits;
        TimePoint sentAt;
        bool delivered = false;
    };
    struct Message {
        int partsTotal = 1;
        int partsDelivered = 0;
        bool decided = false;
    };
    void forgetOlderThan(TimePoint limit);

    std::vector<Part> m_parts;
    std::map<int32_t, Message> m_messages;
};

/// The digits of a number, for comparing numbers written in different forms.
std::string numberDigits(const std::string& number);
/// One digit string ends with the other, leading zeros (trunk or international prefix) aside.
bool sameSubscriber(const std::string& digitsA, const std::string& digitsB);

} // namespace kelbrin
