#pragma once

#include "check_report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelbrin {

struct CheckOptions {
    int32_t baud = 115200;
    /// Empty: no message is sent (a message may cost money).
    std::string sendTo;
    /// Empty: no trace; else the dialogue is appended to this file in the KELBRIN_TRACE format.
    std::string tracePath;
};

/// The checklist of the modem behind @p target ("COM3" or a device path): the device, whether a
/// modem answers, identity, SIM, signal, network, the message settings and, with
/// CheckOptions::sendTo, one message there and back. Read-only: every setting it changes on
/// the modem is set back as it was.
ModemChecklist checkModem(const std::string& target, const CheckOptions& options);

/// checkModem() for every target at once; results in the order of @p targets.
std::vector<ModemChecklist> checkModems(const std::vector<std::string>& targets,
                                        const CheckOptions& options);

} // namespace kelbrin
