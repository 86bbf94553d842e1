#pragma once

#include "operator_text.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kelbrin {

/// Reads one environment variable; nothing when it is unset or empty. Injected so tests do not
/// have to change the process environment.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

/// The process environment.
std::optional<std::string> processEnvironment(const std::string& name);

/// "KELBRIN_COM3" for port 3: the variable that maps a port number to a device path.
std::string portVariableName(int32_t port);

/// The two port maps: the user's, which `kelbrin-ports assign` writes, and the system's.
struct PortMapFiles {
    std::string user;
    std::string system;
};

/// $XDG_CONFIG_HOME/kelbrin/ports (an absolute XDG_CONFIG_HOME only, as the XDG base directory
/// rules say), else ~/.config/kelbrin/ports; and /etc/kelbrin/ports.
PortMapFiles portMapFiles(const EnvironmentLookup& environment);

/// Where COM<N> leads and why.
struct PortResolution {
    std::string path;
    /// "KELBRIN_COM3", "<map file> line <n>", or empty for the default /dev/ttyS<N-1>.
    OperatorText origin;
    /// A malformed map, naming the file and the line; path and origin are empty then.
    OperatorText error;
};

/// The device behind port number @p port, read afresh at each call: $KELBRIN_COM<N>, else the
/// user's map, else the system map, else /dev/ttyS<N-1> (COM1 is the first on-board UART, as on
/// the machines the console came from). Nothing for port < 1.
std::optional<PortResolution> resolvePort(int32_t port, const EnvironmentLookup& environment,
                                          const PortMapFiles& maps);

} // namespace kelbrin
