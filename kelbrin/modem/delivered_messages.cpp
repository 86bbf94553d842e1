#include "delivered_messages.h"

#include <algorithm>

namespace kelbrin {
namespace {

// Route-and-store twins arrive within moments of each other.
constexpr std::chrono::minutes kTwinWindow{5};

// FNV-1a, 64 bits: the same digest on every platform (std::hash may be 32 bits wide).
uint64_t digestOf(const std::string& key) {
    uint64_t digest = 0xcbf29ce484222325u;
    for (const char c : key) {
        digest = (digest ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    }
    return digest;
}

} // namespace

bool DeliveredMessages::takeStored(const MessageSlot& slot, const std::string& key, TimePoint now) {
    auto [taken, inserted] = m_takenSlots.try_emplace(slot, TakenSlot{key});
    if (!inserted) {
        if (taken->second.key == key) {
            return false;
        }
        taken->second = TakenSlot{key}; // the slot was emptied and refilled behind our back
    }
    const uint64_t digest = digestOf(key);
    if (pairWithTwin(digest, false, now)) {
        taken->second.handedOver = true; // its twin is the one the caller gets
        return false;
    }
    m_recent.push_back(Recent{now, digest, false});
    return true;
}

bool DeliveredMessages::takeRouted(const std::string& key, TimePoint now) {
    const uint64_t digest = digestOf(key);
    if (pairWithTwin(digest, true, now)) {
        return false;
    }
    m_recent.push_back(Recent{now, digest, true});
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

bool DeliveredMessages::pairWithTwin(uint64_t digest, bool routed, TimePoint now) {
    while (!m_recent.empty() && m_recent.front().at + kTwinWindow < now) {
        m_recent.pop_front();
    }
    const auto twin = std::find_if(m_recent.rbegin(), m_recent.rend(), [&](const Recent& copy) {
        return copy.routed != routed && copy.digest == digest;
    });
    if (twin == m_recent.rend()) {
        return false;
    }
    m_recent.erase(std::next(twin).base());
    return true;
}

} // namespace kelbrin
