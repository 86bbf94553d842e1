#include "modem_identity.h"

#include "at_parsers.h"
#include "at_text.h"

#include <algorithm>
#include <cctype>

namespace kelbrin {
namespace {

// 15 digits (IMEI) or 16 (IMEISV), quoted or not, after an optional "+CGSN:".
std::string serialNumberIn(std::string_view line) {
    if (startsWith(line, "+CGSN:")) {
        line.remove_prefix(6);
    }
    std::string digits(trim(line));
    digits.erase(std::remove(digits.begin(), digits.end(), '"'), digits.end());
    const bool allDigits = std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    return allDigits && digits.size() >= 14 && digits.size() <= 17 ? digits : std::string();
}

} // namespace

std::string readIdentification(AtChannel& channel, const std::string& command,
                               Milliseconds timeout) {
    const std::string prefix = command.substr(2) + ":";
    const AtReply reply = channel.execute(AtCommand{command, prefix, timeout, false});
    if (!reply.ok()) {
        return {};
    }
    std::string text;
    for (const AtEvent& line : reply.responses) {
        if (text.empty()) {
            text = trim(std::string_view(line.line).substr(prefix.size()));
        }
    }
    // Without the prefix the answer is a line of its own, which the reader keeps as unsolicited:
    // the first such line that no modem sends on its own is the answer.
    channel.dropUrcs([&text](const AtEvent& urc) {
        const bool answer =
            text.empty() && !isKnownUnsolicited(urc.line) && !trim(urc.line).empty();
        if (answer) {
            text = trim(urc.line);
        }
        return answer;
    });
    return text;
}

std::string readSerialNumber(AtChannel& channel, Milliseconds timeout) {
    const AtReply reply = channel.execute(AtCommand{"AT+CGSN", "+CGSN:", timeout, false});
    if (!reply.ok()) {
        return {};
    }
    std::string serial;
    for (const AtEvent& line : reply.responses) {
        if (serial.empty()) {
            serial = serialNumberIn(line.line);
        }
    }
    // Without the prefix the number is a line of its own, which the reader keeps as unsolicited;
    // take it from there and leave the real unsolicited codes.
    channel.dropUrcs([&serial](const AtEvent& urc) {
        const std::string found = serial.empty() ? serialNumberIn(urc.line) : std::string();
        if (!found.empty()) {
            serial = found;
        }
        return !found.empty();
    });
    return serial;
}

} // namespace kelbrin
