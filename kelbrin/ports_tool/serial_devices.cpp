#include "serial_devices.h"

#include "port_diagnostics.h"
#include "port_map.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

extern char** environ;

namespace kelbrin {
namespace {

namespace fs = std::filesystem;

std::string canonicalPath(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? std::string() : resolved.string();
}

std::string firstLine(const fs::path& file) {
    std::ifstream text(file);
    std::string line;
    std::getline(text, line);
    return line;
}

// The 8250 driver registers ttyS0..ttyS31 whether or not a UART answers at those addresses; the
// ones without hardware report UART type 0 (PORT_UNKNOWN) and cannot be opened.
bool hasHardware(const std::string& name) {
    return name.rfind("ttyS", 0) != 0 || firstLine("/sys/class/tty/" + name + "/type") != "0";
}

// Driver and USB vendor:product from sysfs, walking up from the tty's device: the first driver
// not on the serial-base bus (which Linux 6.5 puts between a UART and its real driver), and the
// first ancestor that is a USB device (it has idVendor and idProduct).
void readSysfs(SerialDevice& device) {
    const fs::path tty = fs::path("/sys/class/tty") / fs::path(device.canonical).filename();
    std::error_code error;
    for (fs::path node = fs::canonical(tty / "device", error); !error && node.has_relative_path();
         node = node.parent_path()) {
        std::error_code linkError;
        const fs::path driver = fs::read_symlink(node / "driver", linkError);
        const fs::path bus = fs::read_symlink(node / "subsystem", linkError);
        if (device.driver.empty() && !driver.empty() && bus.filename() != "serial-base") {
            device.driver = driver.filename().string();
        }
        const std::string vendor = firstLine(node / "idVendor");
        if (!vendor.empty()) {
            device.usbId = vendor + ":" + firstLine(node / "idProduct");
            return;
        }
    }
}

std::vector<std::string> machineDevices() {
    std::vector<std::string> found;
    for (const std::string& path : listSerialDevices()) {
        if (path.rfind(kByIdDirectory, 0) != 0 && hasHardware(fs::path(path).filename())) {
            found.push_back(path);
        }
    }
    return found;
}

// Every COM number something names: KELBRIN_COM<N> variables, map lines, and COM<k+1> for each
// on-board /dev/ttyS<k> (the default).
std::set<int32_t> namedPorts(const std::vector<std::string>& devices, const PortMapFiles& maps) {
    std::set<int32_t> ports;
    const std::string prefix = "KELBRIN_";
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view entry(*variable);
        if (entry.rfind(prefix, 0) == 0) {
            if (auto port =
                    parseComName(entry.substr(prefix.size(), entry.find('=') - prefix.size()))) {
                ports.insert(*port);
            }
        }
    }
    for (const std::string* file : {&maps.user, &maps.system}) {
        for (const auto& entry : readPortMap(*file).entries) {
            ports.insert(entry.port);
        }
    }
    for (const std::string& device : devices) {
        const std::string name = fs::path(device).filename();
        if (name.rfind("ttyS", 0) == 0) {
            ports.insert(std::stoi(name.substr(4)) + 1);
        }
    }
    return ports;
}

SerialDevice& deviceFor(std::vector<SerialDevice>& devices, const std::string& path) {
    const std::string canonical = canonicalPath(path);
    const auto known = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& d) {
        return canonical.empty() ? d.path == path : d.canonical == canonical;
    });
    if (known != devices.end()) {
        return *known;
    }
    SerialDevice& added = devices.emplace_back();
    added.path = path;
    added.canonical = canonical;
    return added;
}

} // namespace

std::string byIdLinkFor(const std::string& path, const std::string& byIdDirectory) {
    const std::string canonical = canonicalPath(path);
    std::error_code error;
    for (const auto& link : fs::directory_iterator(byIdDirectory, error)) {
        if (!canonical.empty() && canonicalPath(link.path()) == canonical) {
            return link.path().string();
        }
    }
    return {};
}

std::vector<SerialDevice> findSerialDevices(const std::vector<std::string>& extraPaths,
                                            const EnvironmentLookup& environment,
                                            const PortMapFiles& maps,
                                            std::vector<OperatorText>& mapErrors) {
    std::vector<SerialDevice> devices;
    const std::vector<std::string> present = machineDevices();
    for (const std::string& path : present) {
        deviceFor(devices, path);
    }
    for (int32_t port : namedPorts(present, maps)) {
        const auto resolved = resolvePort(port, environment, maps);
        if (!resolved->error.empty()) {
            const bool known =
                std::any_of(mapErrors.begin(), mapErrors.end(), [&](const OperatorText& error) {
                    return error.english() == resolved->error.english();
                });
            if (!known) {
                mapErrors.push_back(resolved->error);
            }
            continue;
        }
        deviceFor(devices, resolved->path).ports.push_back(port);
    }
    for (const std::string& path : extraPaths) {
        deviceFor(devices, path);
    }
    for (SerialDevice& device : devices) {
        if (device.canonical.empty()) {
            continue;
        }
        device.byId = byIdLinkFor(device.canonical, kByIdDirectory);
        readSysfs(device);
        device.holders = describeHolders(device.canonical);
    }
    return devices;
}

} // namespace kelbrin
