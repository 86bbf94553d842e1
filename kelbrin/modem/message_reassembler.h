#pragma once

#include "service_sink.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace kelbrin {

/// Puts concatenated parts back together. Parts may come in any order and from different
/// service centres; the key is (originator, reference, total) as ModemManager keys them. A
/// message whose parts stop coming is handed out after a timeout with what arrived and a marker
/// for each missing part, so nothing that reached the library is lost. A stop does not hand
/// them out: the parts wait (their stored copies stay on the modem) for the next start.
class MessageReassembler {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    /// Adds one part; returns the whole message when this part completes it.
    std::optional<ReceivedMessage> addPart(const std::string& sender, const std::string& timestamp,
                                           uint16_t reference, uint8_t total, uint8_t sequence,
                                           std::string text, std::optional<MessageSlot> slot,
                                           TimePoint at);
    /// Messages first seen more than @p timeout before @p now, incomplete.
    std::vector<ReceivedMessage> takeExpired(TimePoint now, std::chrono::milliseconds timeout);
    std::optional<TimePoint> oldestFirstSeen() const;

private:
    struct Partial {
        std::string sender;
        std::string timestamp;
        uint8_t total = 0;
        std::map<uint8_t, std::string> parts;
        std::map<uint8_t, std::string> timestamps;
        std::vector<MessageSlot> slots;
        TimePoint firstSeen;
    };
    using Key = std::tuple<std::string, uint16_t, uint8_t>;
    static ReceivedMessage assemble(const Partial& partial);

    std::map<Key, Partial> m_partials;
};

} // namespace kelbrin
