#pragma once

#include "service_sink.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>

namespace kelbrin {

/// Decides whether a message (part) the modem shows is new, so that none is delivered twice and
/// none is swallowed. The key is built from the decoded part (sender, time stamp with zone,
/// concatenation, coding, text).
///
/// - A stored copy is old when the library already took that same message from that same slot
///   and has not deleted it yet (it waits to be handed over, or its delete failed or was cut
///   short by a stop): the slot, not the text, identifies it, so two equal messages in two slots
///   are both delivered.
/// - Some Huawei modems (E303, E3531) both route (+CMT) and store (+CMTI) one message: a routed
///   and a stored copy with the same key within a short window are one message. Each copy pairs
///   with at most one twin, so two equal routed messages are still two. A copy waits for its twin
///   as a 64-bit digest of its key, not the key (a long part's key is some 200 bytes): at a
///   message a second the window holds 300 copies, and two different keys share a digest once
///   in 2^64 / 300 messages.
///
/// Nothing here grows with the messages taken: a slot leaves when it is deleted, a copy when its
/// twin came or the window passed.
class DeliveredMessages {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    /// A copy read from @p slot; true when it is to be handed out.
    bool takeStored(const MessageSlot& slot, const std::string& key, TimePoint now);
    /// A routed copy; true when it is to be handed out.
    bool takeRouted(const std::string& key, TimePoint now);
    /// The caller took the message in @p slot: the slot is to be deleted.
    void handedOver(const MessageSlot& slot);
    bool awaitsDelete(const MessageSlot& slot) const;
    /// The slot was deleted: the next message in it is a new one.
    void slotFreed(const MessageSlot& slot);

private:
    struct Recent {
        TimePoint at;
        uint64_t digest;
        bool routed;
    };
    /// Removes the newest recent copy of the other kind with @p digest; true when there was one.
    bool pairWithTwin(uint64_t digest, bool routed, TimePoint now);

    struct TakenSlot {
        std::string key;
        bool handedOver = false;
    };

    std::map<MessageSlot, TakenSlot> m_takenSlots;
    std::deque<Recent> m_recent;
};

} // namespace kelbrin
