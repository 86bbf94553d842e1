#include "message_reassembler.h"

namespace kelbrin {

std::optional<ReceivedMessage>
MessageReassembler::addPart(const std::string& sender, const std::string& timestamp,
                            uint16_t reference, uint8_t total, uint8_t sequence, std::string text,
                            std::optional<MessageSlot> slot, TimePoint at) {
    const Key key{sender, reference, total};
    auto [entry, created] = m_partials.try_emplace(key);
    Partial& partial = entry->second;
    if (created) {
        partial.sender = sender;
        partial.total = total;
        partial.firstSeen = at;
    }
    // A repeated part (a modem that both routes and stores) keeps the first copy.
    partial.parts.try_emplace(sequence, std::move(text));
    partial.timestamps.try_emplace(sequence, timestamp);
    if (slot) {
        partial.slots.push_back(std::move(*slot)); // a repeated copy's slot is freed with it
    }
    if (partial.parts.size() < total) {
        return std::nullopt;
    }
    ReceivedMessage message = assemble(partial);
    m_partials.erase(entry);
    return message;
}

std::vector<ReceivedMessage> MessageReassembler::takeExpired(TimePoint now,
                                                             std::chrono::milliseconds timeout) {
    std::vector<ReceivedMessage> expired;
    for (auto entry = m_partials.begin(); entry != m_partials.end();) {
        if (entry->second.firstSeen + timeout <= now) {
            expired.push_back(assemble(entry->second));
            entry = m_partials.erase(entry);
        } else {
            ++entry;
        }
    }
    return expired;
}

std::optional<MessageReassembler::TimePoint> MessageReassembler::oldestFirstSeen() const {
    std::optional<TimePoint> oldest;
    for (const auto& entry : m_partials) {
        if (!oldest || entry.second.firstSeen < *oldest) {
            oldest = entry.second.firstSeen;
        }
    }
    return oldest;
}

ReceivedMessage MessageReassembler::assemble(const Partial& partial) {
    ReceivedMessage message;
    message.sender = partial.sender;
    // The first part's time stamp, as a phone shows a concatenated message.
    message.timestamp = partial.timestamps.begin()->second;
    message.slots = partial.slots;
    for (int sequence = 1; sequence <= partial.total; ++sequence) {
        const auto part = partial.parts.find(static_cast<uint8_t>(sequence));
        if (part != partial.parts.end()) {
            message.text += part->second;
        } else {
            message.text += "[part " + std::to_string(sequence) + " of " +
                            std::to_string(partial.total) + " missing]";
        }
    }
    return message;
}

} // namespace kelbrin
