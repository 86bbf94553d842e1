#include "seen_messages.h"

namespace kelbrin {

bool SeenMessages::remember(const std::string& key) {
    if (!m_seen.insert(key).second) {
        return false;
    }
    m_order.push_back(key);
    if (m_order.size() > m_capacity) {
        m_seen.erase(m_order.front());
        m_order.pop_front();
    }
    return true;
}

bool SeenMessages::contains(const std::string& key) const {
    return m_seen.count(key) != 0;
}

} // namespace kelbrin
