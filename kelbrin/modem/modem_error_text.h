#pragma once

#include "at_channel.h"
#include "operator_text.h"

#include <string>

namespace kelbrin {

/// "+CMS ERROR: 330 (service centre address unknown): set the service centre number with
/// AT+CSCA=..." — the modem's own words, what they mean and, where there is one, what to do.
/// Numbers keep their meaning from 27.005 §3.2.5 (CMS) and 27.007 §9.2 (CME).
OperatorText describeModemError(FinalKind kind, std::optional<int> code, const std::string& line);

/// "<what>: <why>" for any way a command can end badly: an error result, no answer in time,
/// no prompt, a lost port.
OperatorText describeFailure(OperatorText what, const AtReply& reply,
                             const OperatorText& lostReason);

/// For a send whose outcome is undetermined (sendOutcomeOf()): its PDU went out and the modem
/// did not confirm it (an error that does not say the message was refused, no result after
/// @p waited, a restart, a lost port, a stop). Says why and that the outcome is unknown, since
/// the message may have been sent. A send that ended before its PDU went out is described as
/// describeFailure() does.
OperatorText describeUnknownOutcome(OperatorText what, const AtReply& reply,
                                    const OperatorText& lostReason, Milliseconds waited);

} // namespace kelbrin
