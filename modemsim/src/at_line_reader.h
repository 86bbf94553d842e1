#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace modemsim {

// Cuts the bytes a terminal sends into command lines (ended by CR) and, after a send prompt,
// into a PDU ended by Ctrl-Z or cancelled by ESC.
class AtLineReader {
public:
    enum class EventKind { CommandLine, PduSubmitted, PduCancelled };
    struct Event {
        EventKind kind;
        std::string text;
    };

    std::optional<Event> feed(char byte);
    // The next bytes up to Ctrl-Z or ESC are a PDU.
    void expectPdu();
    bool expectingPdu() const { return m_expectingPdu; }

    // Longer input is cut here: a real modem's line buffer is finite too.
    static constexpr std::size_t kMaxLength{1024};

private:
    bool m_expectingPdu{false};
    std::string m_buffer;
};

} // namespace modemsim
