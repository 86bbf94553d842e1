#pragma once

#include <optional>
#include <string>

namespace modemsim {

// What a client writes to a modem, cut into the pieces a trace replay matches: command lines
// (ended by CR), PDUs (ended by Ctrl-Z) and a lone ESC. Unlike AtLineReader it keeps no
// dialogue state: a replay has no modem to say when a prompt is open, and the same cut must
// apply to the traced bytes and to the client's.
struct ClientInput {
    enum class Kind { CommandLine, Pdu, Escape };
    Kind kind{Kind::CommandLine};
    std::string text; // without its CR or Ctrl-Z

    // The same input as far as a replay cares: AT+CMGS=<n> and PDUs by their kind only (a long
    // message's parts carry a new concatenation reference each time), anything else byte for
    // byte.
    bool matches(const ClientInput& other) const;
    // For messages: the command line quoted, "a PDU" or "ESC".
    std::string describe() const;
};

class ClientInputReader {
public:
    std::optional<ClientInput> feed(char byte);

private:
    std::string m_buffer;
};

} // namespace modemsim
