#include "port_path.h"

#include <cstdlib>

namespace kelbrin {

std::optional<std::string> processEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::string portVariableName(int32_t port) {
    return "KELBRIN_COM" + std::to_string(port);
}

std::optional<std::string> resolvePortPath(int32_t port, const EnvironmentLookup& environment) {
    if (port < 1) {
        return std::nullopt;
    }
    if (auto mapped = environment(portVariableName(port))) {
        return mapped;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

} // namespace kelbrin
