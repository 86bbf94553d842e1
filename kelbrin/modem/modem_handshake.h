#pragma once

#include "at_channel.h"
#include "session_settings.h"

#include <string>

namespace kelbrin {

struct HandshakeResult {
    std::string failure;            ///< empty on success, else the operator text
    bool acknowledgeRouted = false; ///< +CSMS service 1 stuck on: AT+CNMA after +CMT/+CDS
};

/// The start-up dialogue: ESC, AT until OK, echo off, numeric errors, SIM, PDU mode, storage,
/// +CSMS, indications (with the fallbacks real modems need), service centre, registration;
/// "SIM busy" and "still searching" are waited out within the deadline. Each failure is its own
/// operator text.
class ModemHandshake {
public:
    ModemHandshake(AtChannel& channel, const SessionSettings& settings);

    /// Finished by @p deadline, whatever the modem does.
    HandshakeResult run(Clock::time_point deadline);

private:
    AtReply command(const std::string& line, const std::string& prefix, Milliseconds timeout,
                    bool finalMayBeMissing = false);
    /// Repeats a command the modem answers with "SIM busy" / "init in progress", backing off.
    AtReply commandRetryingBusy(const std::string& line, const std::string& prefix,
                                Clock::time_point deadline, bool finalMayBeMissing = false);
    std::string syncWithModem(Clock::time_point deadline);
    std::string checkSim(Clock::time_point deadline);
    std::string selectStorage(Clock::time_point deadline);
    std::string selectMessageService(Clock::time_point deadline);
    std::string enableIndications(Clock::time_point deadline);
    std::string checkServiceCentre(Clock::time_point deadline);
    std::string checkRegistration(Clock::time_point deadline);

    AtChannel& m_channel;
    const SessionSettings& m_settings;
    bool m_acknowledgeRouted = false;
};

} // namespace kelbrin
