#pragma once

#include "serial_devices.h"
#include "text_language.h"

#include <string>
#include <vector>

namespace kelbrin {

/// The device list as an aligned table in @p language, one device per line: device, COM numbers,
/// driver, USB vendor:product, by-id name, and @p lastColumn (who holds it, or what the probe
/// found).
std::string deviceTable(const std::vector<SerialDevice>& devices,
                        const OperatorText& lastColumnTitle,
                        const std::vector<OperatorText>& lastColumn, TextLanguage language);

} // namespace kelbrin
