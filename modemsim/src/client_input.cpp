#include "client_input.h"

#include "byte_trace.h"

#include <utility>

namespace modemsim {

namespace {
constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;
constexpr std::string_view kSendCommand = "AT+CMGS=";
} // namespace

bool ClientInput::matches(const ClientInput& other) const {
    if (kind != other.kind) {
        return false;
    }
    if (kind != Kind::CommandLine) {
        return true;
    }
    const bool sending = text.rfind(kSendCommand, 0) == 0;
    const bool otherSending = other.text.rfind(kSendCommand, 0) == 0;
    return (sending && otherSending) || text == other.text;
}

std::string ClientInput::describe() const {
    switch (kind) {
    case Kind::CommandLine:
        return "\"" + ByteTrace::escape(text) + "\"";
    case Kind::Pdu:
        return "a PDU";
    case Kind::Escape:
        return "ESC";
    }
    return {};
}

std::optional<ClientInput> ClientInputReader::feed(char byte) {
    switch (byte) {
    case '\r':
        if (m_buffer.empty()) {
            return std::nullopt; // a bare CR runs no command
        }
        return ClientInput{ClientInput::Kind::CommandLine, std::exchange(m_buffer, {})};
    case '\n':
        return std::nullopt; // a terminal's LF after CR
    case kCtrlZ:
        return ClientInput{ClientInput::Kind::Pdu, std::exchange(m_buffer, {})};
    case kEscape:
        // Whatever came before it is cancelled with it.
        m_buffer.clear();
        return ClientInput{ClientInput::Kind::Escape, {}};
    default:
        m_buffer.push_back(byte);
        return std::nullopt;
    }
}

} // namespace modemsim
