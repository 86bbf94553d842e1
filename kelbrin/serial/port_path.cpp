#include "port_path.h"

#include "port_map.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace kelbrin {
namespace {

std::string homeDirectory(const EnvironmentLookup& environment) {
    if (auto home = environment("HOME")) {
        return *home;
    }
    // A session started without HOME (a service, a bare sudo): the password database knows.
    const struct passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

} // namespace

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

PortMapFiles portMapFiles(const EnvironmentLookup& environment) {
    const auto configHome = environment("XDG_CONFIG_HOME");
    const std::string base = configHome && configHome->front() == '/'
                                 ? *configHome
                                 : homeDirectory(environment) + "/.config";
    return PortMapFiles{base + "/kelbrin/ports", "/etc/kelbrin/ports"};
}

std::optional<PortResolution> resolvePort(int32_t port, const EnvironmentLookup& environment,
                                          const PortMapFiles& maps) {
    if (port < 1) {
        return std::nullopt;
    }
    const std::string variable = portVariableName(port);
    if (auto mapped = environment(variable)) {
        return PortResolution{*mapped, OperatorText::verbatim(variable), {}};
    }
    for (const std::string* file : {&maps.user, &maps.system}) {
        const PortMap map = readPortMap(*file);
        if (!map.error.empty()) {
            return PortResolution{{}, {}, map.error};
        }
        if (const PortMapEntry* entry = map.find(port)) {
            return PortResolution{entry->path, mapLineName(*file, entry->line), {}};
        }
    }
    return PortResolution{"/dev/ttyS" + std::to_string(port - 1), {}, {}};
}

} // namespace kelbrin
