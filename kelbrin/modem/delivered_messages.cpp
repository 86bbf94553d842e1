#include "delivered_messages.h"

#include <algorithm>

namespace kelbrin {
namespace {

// Route-and-store twins arrive within moments of each other.
constexpr std::chrono::minutes kTwinWindow{5};

} // namespace

bool DeliveredMessages::takeStored(const MessageSlot& slot, const std::string& key, TimePoint now) {
    auto [taken, inserted] = m_takenSlots.try_emplace(slot, TakenSlot{key});
    if (!inserted) {
        if (taken->second.key == key) {
            return false;
        }
        taken->second = TakenSlot{key}; // the slot was emptied and refilled behind our back
    }
    if (pairWithTwin(key, false, now)) {
        taken->second.handedOver = true; // its twin is the one the caller gets
        return false;
    }
    m_recent.push_back(Recent{now, key, false});
    return true;
}

bool DeliveredMessages::takeRouted(const std::string& key, TimePoint now) {
    if (pairWithTwin(key, true, now)) {
        return false;
    }
    m_recent.push_back(Recent{now, key, true});
    return true;
}

void DeliveredMessages::handedOver(const MessageSlot& slot) {
    if (const auto taken = m_takenSlots.find(slot); taken != m_takenSlots.end()) {
        taken->second.handedOver = true;
    }
}

bool DeliveredMessages::awaitsDelete(const MessageSlot& slot) const {
    const auto taken = m_takenSlots.find(slot);
    return taken != m_takenSlots.end() && taken->second.handedOver;
}

void DeliveredMessages::slotFreed(const MessageSlot& slot) {
    m_takenSlots.erase(slot);
}

bool DeliveredMessages::pairWithTwin(const std::string& key, bool routed, TimePoint now) {
    while (!m_recent.empty() && m_recent.front().at + kTwinWindow < now) {
        m_recent.pop_front();
    }
    const auto twin = std::find_if(m_recent.rbegin(), m_recent.rend(), [&](const Recent& copy) {
        return copy.routed != routed && copy.key == key;
    });
    if (twin == m_recent.rend()) {
        return false;
    }
    m_recent.erase(std::next(twin).base());
    return true;
}

} // namespace kelbrin
