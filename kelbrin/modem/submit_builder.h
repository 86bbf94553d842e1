#pragma once

#include "operator_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelbrin {

/// One AT+CMGS: the hex PDU (default service centre) and the <length> the command carries.
struct SubmitPart {
    std::string hex;
    int tpduLength = 0;
};

/// The parts of one message, or why there are none (operator text).
struct SubmitPlan {
    std::vector<SubmitPart> parts;
    OperatorText error;
};

/// A number as typed ("+49 152-599 (11630)") without the separators people write; nothing when
/// what is left is not a phone number (digits, * and #, an optional leading +, at most 20 digits).
std::optional<std::string> normalisePhoneNumber(const std::string& typed);

/// SMS-SUBMITs for @p text to @p number: GSM 7-bit when every character fits, else UCS2,
/// concatenated under @p reference when one part is not enough; each asks for a status report.
SubmitPlan buildSubmitParts(const std::string& text, const std::string& number, uint8_t reference);

} // namespace kelbrin
