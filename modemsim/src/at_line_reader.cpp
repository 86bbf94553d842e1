#include "at_line_reader.h"

#include <utility>

namespace modemsim {

namespace {
constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;
constexpr char kBackspace = 0x08;
constexpr char kDelete = 0x7F;
} // namespace

void AtLineReader::expectPdu() {
    m_expectingPdu = true;
    m_buffer.clear();
}

std::optional<AtLineReader::Event> AtLineReader::feed(char byte) {
    if (m_expectingPdu) {
        if (byte == kCtrlZ || byte == kEscape) {
            m_expectingPdu = false;
            EventKind kind = byte == kCtrlZ ? EventKind::PduSubmitted : EventKind::PduCancelled;
            return Event{kind, std::exchange(m_buffer, {})};
        }
        if (byte != '\r' && byte != '\n' && m_buffer.size() < kMaxLength) {
            m_buffer.push_back(byte);
        }
        return std::nullopt;
    }
    switch (byte) {
    case '\r':
        return Event{EventKind::CommandLine, std::exchange(m_buffer, {})};
    case '\n':
    case kCtrlZ:
    case kEscape:
        // A terminal's LF after CR, and a Ctrl-Z or ESC sent to close a prompt that is no
        // longer open (gammu and our library send ESC first after a crash), mean nothing here.
        return std::nullopt;
    case kBackspace:
    case kDelete:
        if (!m_buffer.empty()) {
            m_buffer.pop_back();
        }
        return std::nullopt;
    default:
        if (m_buffer.size() < kMaxLength) {
            m_buffer.push_back(byte);
        }
        return std::nullopt;
    }
}

} // namespace modemsim
