#pragma once

#include <optional>
#include <string>

namespace kelbrin {

/// What one piece of modem output is.
enum class AtEventKind {
    Echo,     ///< our own command (or PDU) coming back while echo is on
    Response, ///< an information line of the pending command (e.g. "+CMGS: 7")
    Final,    ///< the end of the pending command: OK or an error
    Prompt,   ///< the "> " of AT+CMGS waiting for the PDU
    Urc,      ///< an unsolicited result code, or a line nobody asked for
};

/// How a command ended.
enum class FinalKind {
    Ok,
    Error,    ///< ERROR, COMMAND NOT SUPPORT, NO CARRIER and friends
    CmeError, ///< +CME ERROR: <n|text> (27.007 §9.2)
    CmsError, ///< +CMS ERROR: <n|text> (27.005 §3.2.5)
};

struct AtEvent {
    AtEventKind kind = AtEventKind::Urc;
    /// The line without its line end; for a Response or Urc that starts with a known prefix
    /// found later in the line (junk before "+CMGS:"), from the prefix on.
    std::string line;
    /// The PDU line that follows +CMT:, +CDS:, +CMGR: and +CMGL: headers; empty otherwise.
    std::string pdu;
    /// For Final only.
    FinalKind final = FinalKind::Ok;
    /// The number of a +CME/+CMS ERROR, when the modem gave one (text errors have none).
    std::optional<int> errorCode;

    bool operator==(const AtEvent& other) const {
        return kind == other.kind && line == other.line && pdu == other.pdu &&
               final == other.final && errorCode == other.errorCode;
    }
};

} // namespace kelbrin
