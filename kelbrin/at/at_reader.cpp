#include "at_reader.h"

#include "at_parsers.h"
#include "at_text.h"

#include <array>
#include <cctype>

namespace kelbrin {
namespace {

// The longest line a modem sends is a PDU line: 2 × (12 SMSC + 176 TPDU) hex digits. Anything
// longer is noise; it is cut here so a babbling port cannot grow memory.
constexpr std::size_t kMaxLineLength = 1024;

// 27.005/27.007 final result codes besides OK and the numbered errors; COMMAND NOT SUPPORT is
// Huawei's (E1752), the dial codes come from modems that mix voice and data.
constexpr std::array<std::string_view, 6> kErrorFinals{
    "ERROR", "COMMAND NOT SUPPORT", "NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE"};

// Headers followed by a PDU line in PDU mode: the two-line URCs (27.005 §3.4.1) and the read and
// list responses (27.005 §3.4.3, §3.4.2).
constexpr std::array<std::string_view, 4> kPduHeaders{"+CMT:", "+CDS:", "+CMGR:", "+CMGL:"};

/// "+CSCS: \"IRA\"", "^SYSINFO: 2": some command's information line, never a bare text answer.
bool isInformationLine(const std::string& line) {
    if (line.size() < 3 || (line[0] != '+' && line[0] != '^')) {
        return false;
    }
    std::size_t i = 1;
    while (i < line.size() && std::isalnum(static_cast<unsigned char>(line[i])) != 0) {
        ++i;
    }
    return i > 1 && i < line.size() && line[i] == ':';
}

bool carriesPdu(const std::string& line) {
    for (std::string_view header : kPduHeaders) {
        if (startsWith(line, header)) {
            return true;
        }
    }
    return false;
}

std::optional<int> errorNumber(std::string_view detail) {
    std::string_view trimmed = trim(detail);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return parseInt(trimmed);
}

} // namespace

void AtReader::beginCommand(AtCommandContext context) {
    m_command = std::move(context);
    m_pending = true;
}

void AtReader::expectEcho(std::string echo) {
    m_command.echo = std::move(echo);
}

void AtReader::endCommand() {
    m_command = {};
    m_pending = false;
}

void AtReader::feed(std::string_view bytes, std::vector<AtEvent>& events) {
    for (char c : bytes) {
        if (m_afterPrompt && c == ' ') {
            continue;
        }
        m_afterPrompt = false;
        if (c == '\r' || c == '\n') {
            onLineEnd(events);
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            continue;
        }
        // The prompt has no line end: the modem sends "\r\n> " and waits (27.005 §3.5.1). SIMCom
        // SIM7670G sends "\r\n>\r\n" instead; both start a line with '>'.
        const bool promptAwaited = (m_pending && m_command.expectsPrompt) || m_latePrompt;
        if (c == '>' && m_line.empty() && promptAwaited && !m_awaitingPdu) {
            m_command.expectsPrompt = false;
            m_latePrompt = false;
            m_afterPrompt = true;
            events.push_back(AtEvent{AtEventKind::Prompt, ">", {}, FinalKind::Ok, std::nullopt});
            continue;
        }
        if (m_line.size() < kMaxLineLength) {
            m_line.push_back(c);
        } else {
            m_lineOverflow = true;
        }
    }
}

void AtReader::onLineEnd(std::vector<AtEvent>& events) {
    if (m_line.empty()) {
        return;
    }
    std::string line;
    line.swap(m_line);
    if (m_lineOverflow) {
        m_lineOverflow = false;
        return;
    }
    classifyLine(std::move(line), events);
}

void AtReader::classifyLine(std::string line, std::vector<AtEvent>& events) {
    if (m_awaitingPdu) {
        AtEvent header = std::move(*m_awaitingPdu);
        m_awaitingPdu.reset();
        if (isHexText(line) && !finalResult(line)) {
            header.pdu = std::move(line);
            events.push_back(std::move(header));
            return;
        }
        // A header without its PDU (a junk line inside a listing, or the final result): hand
        // over what there is and read this line on its own.
        events.push_back(std::move(header));
    }
    if (m_pending) {
        if (auto final = finalResult(line)) {
            m_latePrompt = m_latePrompt || m_command.expectsPrompt;
            endCommand();
            events.push_back(std::move(*final));
            return;
        }
        if (isEcho(line)) {
            events.push_back(AtEvent{AtEventKind::Echo, std::move(line), {}, FinalKind::Ok, {}});
            return;
        }
        const auto& prefix = m_command.responsePrefix;
        if (!prefix.empty()) {
            // Junk or an echoed PDU may precede the response on the same line (MM and smstools3
            // search for "+CMGS:" anywhere in the line).
            const std::size_t at = line.find(prefix);
            if (at != std::string::npos) {
                m_latePrompt = false;
                emitLine(AtEvent{AtEventKind::Response, line.substr(at), {}, FinalKind::Ok, {}},
                         events);
                return;
            }
        }
        if (m_command.textAnswer && !isKnownUnsolicited(line) && !isInformationLine(line)) {
            m_latePrompt = false;
            events.push_back(
                AtEvent{AtEventKind::Response, std::move(line), {}, FinalKind::Ok, {}});
            return;
        }
    }
    emitLine(AtEvent{AtEventKind::Urc, std::move(line), {}, FinalKind::Ok, {}}, events);
}

void AtReader::emitLine(AtEvent event, std::vector<AtEvent>& events) {
    if (carriesPdu(event.line)) {
        if (auto inline_pdu = splitInlinePdu(event.line)) {
            // Telit: "+CMGR: 1,,147 0791..." with a space instead of the line end.
            event.line = inline_pdu->first;
            event.pdu = inline_pdu->second;
        } else if (lastFieldIsZero(event.line)) {
            // "+CMGR: 0,,0": an empty slot; no PDU line follows.
        } else {
            m_awaitingPdu = std::move(event);
            return;
        }
    }
    events.push_back(std::move(event));
}

std::optional<AtEvent> AtReader::finalResult(const std::string& line) {
    AtEvent event{AtEventKind::Final, line, {}, FinalKind::Ok, std::nullopt};
    if (line == "OK") {
        return event;
    }
    for (std::string_view code : kErrorFinals) {
        if (line == code) {
            event.final = FinalKind::Error;
            return event;
        }
    }
    // A bare "+CME ERROR:" is no final result: ModemManager's serial-port tests feed it and
    // expect the command to go on (src/tests/test-at-serial-port.c).
    if (startsWith(line, "+CME ERROR:") && !trim(std::string_view(line).substr(11)).empty()) {
        event.final = FinalKind::CmeError;
        event.errorCode = errorNumber(std::string_view(line).substr(11));
        return event;
    }
    if (startsWith(line, "+CMS ERROR:")) {
        event.final = FinalKind::CmsError;
        event.errorCode = errorNumber(std::string_view(line).substr(11));
        return event;
    }
    return std::nullopt;
}

bool AtReader::isEcho(const std::string& line) const {
    if (!m_command.echo.empty() && equalsIgnoringCase(line, m_command.echo)) {
        return true;
    }
    // Echo of an earlier command whose answer already ended (echo on after a modem reset).
    return line.size() >= 2 && equalsIgnoringCase(line.substr(0, 2), "AT");
}

} // namespace kelbrin
