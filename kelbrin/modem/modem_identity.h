#pragma once

#include "at_channel.h"

#include <string>

namespace kelbrin {

/// The answer of an identification command of 27.007 §5 (AT+CGMI, +CGMM, +CGMR) or of AT+CIMI:
/// a bare text line, on a few modems after "+CGMI: ". Empty when the modem does not say.
std::string readIdentification(AtChannel& channel, const std::string& command,
                               Milliseconds timeout);

/// The modem's serial number (IMEI) from AT+CGSN, to tell whether the modem that comes back on a
/// port is the one that left: "+CGSN: 356938035643809" (some Quectel firmware) or the bare
/// digits (27.007 §5.4, most modems). Empty when the modem does not say.
std::string readSerialNumber(AtChannel& channel, Milliseconds timeout);

} // namespace kelbrin
