#pragma once

#include "service_sink.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelbrin {

/// Matches status reports to the parts that were sent. A report names the part by TP-MR (8 bits,
/// wraps) and recipient (in whatever form the network likes: "+4915259911630" for a message sent
/// to "015259911630", "89161234567" with the Russian trunk prefix for "+79161234567"), so a part
/// matches on the reference, on the number (sameSubscriber()), and only within a time window. A
/// multi-part message counts as delivered only when every part is, and as failed as soon as one
/// part fails for good (oFono's rule, unit/test-sms.c test_sr_assembly).
///
/// Only parts whose message is still undecided are kept, and those for at most the report
/// window: a console that sends for weeks holds the sends still waiting, not every send it made.
/// The last few decided parts are remembered, so that a repeated report for one still matches.
class DeliveryTracker {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    /// What one report meant.
    struct Verdict {
        bool matched = false; ///< it belongs to a part that was sent
        /// The message it decides, with its outcome; empty when the report decides nothing.
        std::optional<std::pair<int32_t, DeliveryOutcome>> decided;
    };

    /// Remembers part @p reference of message @p index, sent at @p at.
    void partSent(int32_t index, int partsInMessage, uint8_t reference, const std::string& number,
                  TimePoint at);
    /// Applies a report.
    Verdict reportReceived(uint8_t reference, const std::string& recipient, uint8_t status,
                           TimePoint at);
    /// Parts of undecided messages (delivered ones among them) still kept.
    std::size_t partsKept() const { return m_parts.size(); }

private:
    struct Part {
        TimePoint sentAt;
        std::string digits;
        int32_t index = 0;
        int partsInMessage = 1;
        uint8_t reference = 0;
        bool delivered = false;
    };
    /// Enough for the reports a network or a modem repeats: they follow the first copy closely.
    static constexpr std::size_t kSettledKept = 32;

    void forgetOlderThan(TimePoint limit);
    /// Message @p index is decided: its parts move to m_settled.
    void settle(int32_t index);

    std::vector<Part> m_parts;
    std::array<Part, kSettledKept> m_settled{}; ///< a ring; index 0 marks an empty place
    std::size_t m_nextSettled = 0;
};

/// The digits of a number, for comparing numbers written in different forms.
std::string numberDigits(const std::string& number);
/// The sent and the reported number (digits only) name the same subscriber: their last 7 digits
/// are equal, which sets aside country codes and trunk prefixes of every form ("0", "8", "1"), or
/// all their digits are when either is shorter. A report without digits (an alphanumeric or empty
/// recipient) matches on the reference alone.
bool sameSubscriber(const std::string& sentDigits, const std::string& reportedDigits);

} // namespace kelbrin
