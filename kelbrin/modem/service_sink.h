#pragma once

#include "operator_text.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace kelbrin {

/// One SMSSendMessage() call waiting for the modem.
struct SendJob {
    int32_t index = 0;
    std::string text;   ///< UTF-8
    std::string number; ///< as the caller typed it
    std::chrono::steady_clock::time_point calledAt{};
    /// Progress of a long message the loss of the port interrupted: the parts the network has,
    /// and the concatenation reference the rest must carry.
    int partsSent = 0;
    std::optional<uint8_t> concatReference;
};

/// Where the modem keeps a message (part): a 27.005 <mem> and an index in it.
struct MessageSlot {
    std::string storage;
    int index = 0;

    bool operator<(const MessageSlot& other) const {
        return std::tie(storage, index) < std::tie(other.storage, other.index);
    }
    bool operator==(const MessageSlot& other) const {
        return storage == other.storage && index == other.index;
    }
};

/// One message as the operator sees it, reassembled from its parts.
struct ReceivedMessage {
    std::string sender;
    std::string timestamp; ///< "YYYY-MM-DD HH:MM:SS", the service centre's time
    std::string text;      ///< UTF-8
    /// The slots its parts still occupy on the modem (none for a routed message). They are
    /// deleted only after the caller took the message's last record.
    std::vector<MessageSlot> slots;
};

/// How a send ended. Undetermined: the modem took the message but did not confirm it (no result
/// in time, an unknown error, a lost port or a restart after the PDU went out); it may have been
/// sent, so it is never sent again.
enum class SendOutcome { Sent, Failed, Undetermined };

/// What a status report says about a whole message so far.
enum class DeliveryOutcome { Delivered, Failed };

/// How the modem worker hands its results to the state the entry points read. Called on the
/// worker thread; implementations lock.
class ServiceSink {
public:
    virtual ~ServiceSink() = default;
    /// The oldest queued send, if any.
    virtual std::optional<SendJob> takeSendJob() = 0;
    /// The one report of a send: every part accepted, or why not (@p error).
    virtual void sendFinished(int32_t index, SendOutcome outcome, const OperatorText& error) = 0;
    virtual void deliveryKnown(int32_t index, DeliveryOutcome outcome) = 0;
    virtual void messageReceived(ReceivedMessage message) = 0;
    /// Messages received and not yet taken by the caller (the worker reads no further ahead).
    virtual std::size_t messagesWaiting() = 0;
    /// The slots of the messages the caller took completely since the last call.
    virtual std::vector<MessageSlot> takeHandedOverSlots() = 0;
    /// A failure worth an operator's attention that does not end the service.
    virtual void problem(const OperatorText& text) = 0;
    /// A send the loss of the port interrupted before its next part went out: first in line
    /// again, for when the modem is back.
    virtual void sendInterrupted(SendJob job) = 0;
    /// The port is gone and the worker tries to reopen it; @p text is for the operator.
    virtual void connectionLost(const OperatorText& text) = 0;
    /// The same modem is back and set up.
    virtual void connectionBack() = 0;
    /// Fails the queued sends called before @p limit: the modem stayed away too long for them.
    virtual void failSendsCalledBefore(std::chrono::steady_clock::time_point limit,
                                       const OperatorText& reason) = 0;
};

} // namespace kelbrin
