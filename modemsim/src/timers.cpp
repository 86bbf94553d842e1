#include "timers.h"

#include <utility>

namespace modemsim {

void Timers::schedule(Clock::time_point due, Action action) {
    m_actions.emplace(due, std::move(action));
}

std::optional<Timers::Clock::time_point> Timers::next() const {
    if (m_actions.empty()) {
        return std::nullopt;
    }
    return m_actions.begin()->first;
}

void Timers::runDue(Clock::time_point now) {
    while (!m_actions.empty() && m_actions.begin()->first <= now) {
        auto first = m_actions.begin();
        Action action = std::move(first->second);
        m_actions.erase(first);
        action(now);
    }
}

} // namespace modemsim
