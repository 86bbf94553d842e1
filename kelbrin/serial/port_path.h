#pragma once

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

/// The device behind port number @p port: $KELBRIN_COM<N> when set, else /dev/ttyS<N-1> (COM1 is
/// the first on-board UART, as on the machines the console came from). Nothing for port < 1.
std::optional<std::string> resolvePortPath(int32_t port, const EnvironmentLookup& environment);

} // namespace kelbrin
