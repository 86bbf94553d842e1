#pragma once

#include "at_event.h"

#include <optional>
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

    /// The answer among a reply's lines: the first Text line of the answer's shape (its prefix,
    /// blanks and, for a number, quotes taken off) or the first InfoLine line (its prefix taken
    /// off); nothing when no line is it. Plain and Lines answers need none: always empty text.
    std::optional<std::string> answerIn(const std::vector<AtEvent>& responses) const;
    /// Whether a reply that ended with OK carries what this answer must say. A reply without it
    /// is an earlier command's, unless the dialogue was just proven in step.
    bool heardIn(const std::vector<AtEvent>& responses) const {
        return answerIn(responses).has_value();
    }
};

/// The rule for one command line ("AT+CPMS?", "AT+CGSN", "ATE0Q0V1+CMEE=1").
AnswerRule answerRuleFor(std::string_view commandLine);

} // namespace kelbrin
