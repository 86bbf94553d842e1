#include "modem_identity.h"

#include "answer_rule.h"

#include <algorithm>

namespace kelbrin {

std::string readIdentification(AtChannel& channel, const std::string& command,
                               Milliseconds timeout) {
    // The channel took as the answer only the lines of the answer's form and shape (a known
    // unsolicited code such as SIMCom's "*ATREADY: 1" is none of them).
    const AtReply reply = channel.execute(AtCommand{command, timeout});
    if (!reply.ok()) {
        return {};
    }
    const AnswerRule rule = answerRuleFor(command);
    for (const AtEvent& line : reply.responses) {
        std::string text = rule.textOf(line.line);
        if (text.empty() || (rule.shape != nullptr && !rule.shape(text))) {
            continue;
        }
        if (rule.shape != nullptr) { // a number, quoted by some firmware
            text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
        }
        return text;
    }
    return {};
}

std::string readSerialNumber(AtChannel& channel, Milliseconds timeout) {
    return readIdentification(channel, "AT+CGSN", timeout);
}

} // namespace kelbrin
