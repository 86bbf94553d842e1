#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_set>

namespace kelbrin {

/// Messages (parts) already taken into the library, so that none is delivered twice: a stored
/// copy whose delete failed shows up again in the next listing, and some Huawei modems (E303,
/// E3531) both route (+CMT) and store (+CMTI) the same message. The key is built from the decoded
/// part (sender, time stamp with zone, concatenation, text), so SIM-record padding or a missing
/// service-centre field do not make two copies look different. Bounded: the oldest go first.
class SeenMessages {
public:
    explicit SeenMessages(std::size_t capacity = 4096) : m_capacity(capacity) {}

    /// True when @p key was not seen before (and remembers it).
    bool remember(const std::string& key);
    bool contains(const std::string& key) const;

private:
    std::size_t m_capacity;
    std::deque<std::string> m_order;
    std::unordered_set<std::string> m_seen;
};

} // namespace kelbrin
