#pragma once

#include "operator_text.h"
#include "port_path.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelbrin {

/// One serial device as `kelbrin-ports` shows it.
struct SerialDevice {
    std::string path;           ///< /dev/ttyUSB0, or a mapped path outside /dev (a modemsim link)
    std::string canonical;      ///< the device file the path leads to; empty when it does not exist
    std::string byId;           ///< its /dev/serial/by-id link, if any
    std::string driver;         ///< kernel driver (option, cdc_acm, serial8250, ...)
    std::string usbId;          ///< vendor:product of the USB device it belongs to
    std::vector<int32_t> ports; ///< the COM numbers that lead to it
    OperatorText holders;       ///< describeHolders(); empty when free
};

/// The serial devices of this machine (USB and ACM modems, on-board UARTs that have hardware
/// behind them, Bluetooth and AMA lines), then every path a COM number leads to through the
/// environment or the port maps, then @p extraPaths; each device once. Problems with the maps
/// are added to @p mapErrors.
std::vector<SerialDevice> findSerialDevices(const std::vector<std::string>& extraPaths,
                                            const EnvironmentLookup& environment,
                                            const PortMapFiles& maps,
                                            std::vector<OperatorText>& mapErrors);

/// The /dev/serial/by-id link in @p byIdDirectory that leads to the same device as @p path;
/// empty when there is none.
std::string byIdLinkFor(const std::string& path, const std::string& byIdDirectory);

inline constexpr const char* kByIdDirectory = "/dev/serial/by-id";

} // namespace kelbrin
