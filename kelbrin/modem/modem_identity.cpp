#include "modem_identity.h"

#include "answer_rule.h"

namespace kelbrin {

std::string readIdentification(AtChannel& channel, const std::string& command,
                               Milliseconds timeout) {
    // The channel took as the answer only the lines of the answer's form and shape (a known
    // unsolicited code such as SIMCom's "*ATREADY: 1" is none of them).
    const AtReply reply = channel.execute(AtCommand{command, timeout});
    if (!reply.ok()) {
        return {};
    }
    return answerRuleFor(command).answerIn(reply.responses).value_or(std::string());
}

std::string readSerialNumber(AtChannel& channel, Milliseconds timeout) {
    return readIdentification(channel, "AT+CGSN", timeout);
}

} // namespace kelbrin
