#pragma once

#include "delivered_messages.h"
#include "delivery_tracker.h"
#include "message_reassembler.h"

#include <cstdint>
#include <random>
#include <set>
#include <string>

namespace kelbrin {

/// What the library remembers from one modem session to the next while it stays loaded: the
/// stored messages taken but not yet deleted (a message queued or handed over before a stop must
/// not be delivered again after the next start, and its delete is still owed), the parts of long
/// messages still waiting for their siblings, the parts whose status reports may still come, the
/// concatenation reference, and the devices the last sessions left out of step. Used by one
/// session at a time, on its worker thread.
struct SessionMemory {
    DeliveredMessages delivered;
    MessageReassembler reassembler;
    DeliveryTracker tracker;
    /// Random at each load, so parts of a message still in flight from an earlier run never
    /// share a reference with new ones (ModemManager randomises it too, src/mm-sms-list.c).
    uint8_t concatReference = static_cast<uint8_t>(std::random_device{}() & 0xFFu);
    /// Devices (SerialPort::deviceInstance) on which a stop cut a command short: its answer may
    /// reach the first command of the next session on that device, and of no other.
    std::set<std::string> devicesOutOfStep;
};

} // namespace kelbrin
