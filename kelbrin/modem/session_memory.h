#pragma once

#include "delivered_messages.h"
#include "delivery_tracker.h"
#include "message_reassembler.h"

#include <cstdint>

namespace kelbrin {

/// What the library remembers from one modem session to the next while it stays loaded: the
/// stored messages taken but not yet deleted (a message queued or handed over before a stop must
/// not be delivered again after the next start, and its delete is still owed), the parts of long
/// messages still waiting for their siblings, the parts whose status reports may still come, and
/// the concatenation reference. Used by one session at a time, on its worker thread.
struct SessionMemory {
    DeliveredMessages delivered;
    MessageReassembler reassembler;
    DeliveryTracker tracker;
    uint8_t concatReference = 0;
};

} // namespace kelbrin
