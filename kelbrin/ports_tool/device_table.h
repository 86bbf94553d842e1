#pragma once

#include "serial_devices.h"

#include <string>
#include <vector>

namespace kelbrin {

/// The device list as an aligned table, one device per line: device, COM numbers, driver, USB
/// vendor:product, by-id name, and @p lastColumn (who holds it, or what the probe found).
std::string deviceTable(const std::vector<SerialDevice>& devices,
                        const std::string& lastColumnTitle,
                        const std::vector<std::string>& lastColumn);

} // namespace kelbrin
