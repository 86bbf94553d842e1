#pragma once

#include "at_event.h"

#include <string>
#include <string_view>
#include <vector>

namespace kelbrin {

/// What the answer of a command must say to be that command's answer, and not the late answer
/// of an earlier one. A reply belongs to a command by what it says, never by its position alone:
/// oFono's gatchat sends each command with the prefix its answer carries and takes no other line
/// as that answer; ModemManager's response parsers likewise insist on their "+X:" line.
enum class AnswerForm {
    /// A final result alone (ATE0, AT+CMGF=0, AT+CNMI=..., AT+CMGD=...): information lines that
    /// come meanwhile are nobody's answer and stay unsolicited.
    Plain,
    /// "+X:" lines or none: a list that may be empty (AT+CMGL, AT+CNUM).
    Lines,
    /// At least one "+X:" line: a query (AT+X?), a test command (AT+X=?), and the commands whose
    /// set or action form answers with one (27.005 §3.2.2 +CPMS, §3.2.1 +CSMS, §3.5.1 +CMGS,
    /// §3.5.3 +CMGW, §3.4.3 +CMGR; 27.007 §8.5 +CSQ).
    InfoLine,
    /// A bare text line (27.007 §5: +CGMI, +CGMM, +CGMR, +CGSN, +CIMI; V.250 I), on a few modems
    /// after "+X: ". Lines that are known unsolicited codes, or another command's "+Y:" line, are
    /// not it; where the answer has a shape (an IMEI, an IMSI), a line without it is not it either.
    Text,
};

struct AnswerRule {
    AnswerForm form = AnswerForm::Plain;
    std::string prefix; ///< "+CPMS:"; empty for a Plain answer and for basic commands
    /// For a Text answer with a shape: whether a line (its prefix taken off) has it.
    bool (*shape)(std::string_view text) = nullptr;

    /// The text of a Text or InfoLine answer's line, its prefix and blanks taken off.
    std::string textOf(const std::string& line) const;
    /// Whether a reply that ended with OK carries what this answer must say. A reply without it
    /// is an earlier command's: the dialogue is out of step.
    bool heardIn(const std::vector<AtEvent>& responses) const;
};

/// The rule for one command line ("AT+CPMS?", "AT+CGSN", "ATE0Q0V1+CMEE=1").
AnswerRule answerRuleFor(std::string_view commandLine);

/// 14 to 16 digits, quoted or not: an IMEI (15), its IMEISV form (16) or an older 14-digit one.
bool hasSerialNumberShape(std::string_view text);
/// 6 to 15 digits: an IMSI (23.003 §2.2: at most 15, MCC and MNC at least 5).
bool hasImsiShape(std::string_view text);

} // namespace kelbrin
