#pragma once

#include "at_event.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelbrin {

/// What the reader needs to know about the command in flight to classify the modem's lines.
struct AtCommandContext {
    std::string echo;           ///< the command line as sent, without its CR
    std::string responsePrefix; ///< e.g. "+CMGS:"; empty when the command has no information lines
    bool expectsPrompt = false; ///< AT+CMGS: a ">" at the start of a line is the prompt
    /// The answer is a bare text line (AT+CGMI, AT+CGSN): a line that is neither a known
    /// unsolicited code nor another command's "+X:" line is a Response.
    bool textAnswer = false;
};

/// Byte-fed tokenizer of modem output. Bytes may arrive in any split; the events are the same
/// whether a transcript is fed whole, byte by byte or in random pieces, because every decision is
/// taken from the bytes and the reader's own state, never from how they were cut. The command
/// context changes only through beginCommand()/expectEcho()/endCommand() and when the reader
/// itself sees the final result, so it never lags behind the bytes.
///
/// Lines end at CR or LF (modems send "\r\n", echo ends in a bare "\r"); empty lines are skipped.
/// Control bytes other than CR and LF are dropped (the Ctrl-Z of an echoed PDU).
class AtReader {
public:
    void beginCommand(AtCommandContext context);
    /// The next echo to expect: the PDU written after the prompt.
    void expectEcho(std::string echo);
    /// Forgets the command in flight (timeout, or a modem that ends +CPIN? without OK).
    void endCommand();
    bool commandPending() const { return m_pending; }
    /// OK, an error, or a numbered/text +CME/+CMS ERROR: a line that ends a command.
    static bool isFinalResult(const std::string& line) { return finalResult(line).has_value(); }

    /// Consumes @p bytes and appends the events they complete.
    void feed(std::string_view bytes, std::vector<AtEvent>& events);

private:
    void onLineEnd(std::vector<AtEvent>& events);
    void classifyLine(std::string line, std::vector<AtEvent>& events);
    void emitLine(AtEvent event, std::vector<AtEvent>& events);
    static std::optional<AtEvent> finalResult(const std::string& line);
    bool isEcho(const std::string& line) const;

    AtCommandContext m_command;
    bool m_pending = false;
    std::string m_line;
    bool m_lineOverflow = false;
    bool m_afterPrompt = false;
    /// A command that awaited a prompt ended without it, and a ">" may still come: SIM800L
    /// answers "+CMS ERROR" and then prompts anyway (jakhax/raspberry-pi-sim800l-gsm-module
    /// issue 4), in the same read or after the next command went out. Until the modem answers a
    /// later command with a line of its own (it is not in text entry then), a ">" at the start of
    /// a line is that prompt.
    bool m_latePrompt = false;
    /// A +CMT/+CDS/+CMGR/+CMGL header whose PDU line has not arrived yet.
    std::optional<AtEvent> m_awaitingPdu;
};

} // namespace kelbrin
