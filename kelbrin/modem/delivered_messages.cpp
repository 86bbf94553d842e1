#include "delivered_messages.h"

#include <algorithm>

namespace kelbrin {
namespace {

// Route-and-store twins arrive within moments of each other.
constexpr std::chrono::minutes kTwinWindow{5};

} // namespace

bool DeliveredMessages::takeStored(const std::string& storage, int index, const std::string& key,
                                   TimePoint now) {
    auto [slot, inserted] = m_takenSlots.try_emplace({storage, index}, key);
    if (!inserted) {
        if (slot->second == key) {
            return false;
        }
        slot->second = key; // the slot was emptied and refilled behind our back
    }
    if (pairWithTwin(key, false, now)) {
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

void DeliveredMessages::slotFreed(const std::string& storage, int index) {
    m_takenSlots.erase({storage, index});
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
