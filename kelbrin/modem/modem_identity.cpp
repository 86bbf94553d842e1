#include "modem_identity.h"

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
