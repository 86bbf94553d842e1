#pragma once

#include "modemsim/scenario.h"

#include <sms/pdu.h>
#include <sms/result.h>
#include <sms/timestamp.h>
#include <sms/tpdu.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace modemsim {

// The PDUs the simulated network hands the modem, built with the shared codec.

// The service-centre time stamp for "now": local time with its UTC offset.
sms::Timestamp currentTimestamp();

// The PDUs of a message, or why they cannot be built.
using PartsOrError = std::variant<std::vector<sms::OutgoingPdu>, std::string>;

// An incoming message as SMS-DELIVER parts, concatenated under `reference` when it needs more
// than one, the last part cut as `truncatedTo` asks. Or why it cannot be built: an address the
// codec cannot encode, a text beyond 255 parts, a cut that cuts nothing.
PartsOrError deliverPdus(const IncomingMessage& message, const std::string& serviceCentre,
                         std::uint8_t reference, const sms::Timestamp& time);

// A message the user keeps on the modem, as SMS-SUBMIT parts to `recipient`: a draft, or one
// already sent.
PartsOrError storedSubmitPdus(const std::string& recipient, const std::string& text,
                              const std::string& serviceCentre, std::uint8_t reference);

// A message sent to the loopback number, coming back: same coding, text and concatenation.
sms::Result<sms::OutgoingPdu> loopbackPdu(const sms::Submit& submit,
                                          const std::string& serviceCentre,
                                          const sms::Timestamp& time);

sms::Result<sms::OutgoingPdu> statusReportPdu(std::uint8_t messageReference,
                                              const sms::Address& recipient,
                                              const sms::Timestamp& submitted, std::uint8_t status,
                                              const std::string& serviceCentre);

} // namespace modemsim
