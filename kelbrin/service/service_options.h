#pragma once

#include "operator_text.h"
#include "port_path.h"
#include "session_settings.h"

#include <cstdint>
#include <string>

namespace kelbrin {

/// SMSStartService's arguments as the caller passed them.
struct StartArguments {
    int32_t port = 0;
    int32_t baud = 0;
    int32_t mode = 0; ///< reserved: callers pass 2, and nothing depends on it
    int32_t dataBits = 0;
    int32_t parity = 0;
    int32_t rtsCts = 0;
    const char* storage = nullptr;
};

/// Session settings for a start, or the operator text of what is wrong with the arguments:
/// a port below 1, a malformed port map (resolvePort), anything but 8 data bits or no parity
/// (modems speak 8N1), a storage other than "card" (the SIM, 27.005 "SM") or "phone" ("ME").
/// Timings take the environment's KELBRIN_PROMPT_TIMEOUT_MS and KELBRIN_RESULT_TIMEOUT_MS (the
/// '>' and the result of each part),
/// KELBRIN_POLL_MS (stored-message listing) and KELBRIN_REASSEMBLY_TIMEOUT_MS when set.
struct SettingsResult {
    SessionSettings settings;
    OperatorText error;
};
SettingsResult sessionSettingsFor(const StartArguments& arguments,
                                  const EnvironmentLookup& environment);

} // namespace kelbrin
