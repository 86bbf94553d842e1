#pragma once

#include "operator_text.h"
#include "serial_devices.h"

#include <string>
#include <vector>

namespace kelbrin {

/// What --probe learnt about one device.
struct ProbeResult {
    bool answered = false;
    /// "Quectel EG25, IMEI 86..., SIM READY, registered (home network)", or why there is no
    /// answer: "no answer", "not probed: in use by ...", the open error.
    OperatorText summary;
};

/// Asks the modem on @p device who it is, within about three seconds. A device that another
/// process holds is not opened at all.
ProbeResult probeDevice(const SerialDevice& device);

/// probeDevice() for every device at once, so that silent ports cost their timeout once in all,
/// not once each. Results in the order of @p devices.
std::vector<ProbeResult> probeDevices(const std::vector<SerialDevice>& devices);

} // namespace kelbrin
