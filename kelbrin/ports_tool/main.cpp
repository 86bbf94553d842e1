// kelbrin-ports: which serial devices this machine has, which of them a modem answers on, and
// the COM number the SMS service library reaches each one by; `assign` writes the user's map.

#include "device_table.h"
#include "modem_probe.h"
#include "port_assignment.h"
#include "port_map.h"
#include "serial_devices.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace kelbrin;

constexpr int kUsageError = 2;

const char* const kUsage =
    "Usage: kelbrin-ports [--probe] [DEVICE...]\n"
    "       kelbrin-ports assign COM<N> DEVICE\n"
    "\n"
    "Lists the serial devices: path, COM number, driver, USB vendor:product, the\n"
    "/dev/serial/by-id name, and the process holding the device. Devices a COM number\n"
    "is mapped to, and the DEVICEs given, are listed too.\n"
    "\n"
    "  --probe   also ask each free device whether a modem answers (within about 3 s\n"
    "            in all): manufacturer, model, IMEI, SIM state, registration. A device\n"
    "            that another process holds is not opened.\n"
    "  assign    map COM<N> to DEVICE in the user's port map, by its by-id name when it\n"
    "            has one; the console uses it at its next Start.\n"
    "  --help    show this text.\n"
    "\n"
    "COM<N> is KELBRIN_COM<N> when set, else the line COM<N> = <path> of\n"
    "$XDG_CONFIG_HOME/kelbrin/ports (~/.config/kelbrin/ports), else of /etc/kelbrin/ports,\n"
    "else /dev/ttyS<N-1>. See kelbrin-ports(1).\n";

int usageError(const std::string& problem) {
    std::fprintf(stderr, "kelbrin-ports: %s\n\n%s", problem.c_str(), kUsage);
    return kUsageError;
}

int list(bool probe, const std::vector<std::string>& extraPaths) {
    const PortMapFiles maps = portMapFiles(processEnvironment);
    std::vector<std::string> mapErrors;
    const std::vector<SerialDevice> devices =
        findSerialDevices(extraPaths, processEnvironment, maps, mapErrors);
    for (const std::string& error : mapErrors) {
        std::fprintf(stderr, "kelbrin-ports: %s\n", error.c_str());
    }
    std::vector<std::string> lastColumn;
    if (probe) {
        for (ProbeResult& result : probeDevices(devices)) {
            lastColumn.push_back(std::move(result.summary));
        }
    } else {
        for (const SerialDevice& device : devices) {
            lastColumn.push_back(device.canonical.empty() ? "does not exist"
                                 : device.holders.empty() ? "free"
                                                          : "in use by " + device.holders);
        }
    }
    std::fputs(deviceTable(devices, probe ? "MODEM" : "STATE", lastColumn).c_str(), stdout);
    std::printf("\nMap a port with: kelbrin-ports assign COM<N> <device>   (writes %s)\n",
                maps.user.c_str());
    return 0;
}

int assign(const std::string& portName, const std::string& device) {
    const auto port = parseComName(portName);
    if (!port) {
        return usageError("\"" + portName + "\" is not a port name like COM3");
    }
    std::error_code error;
    const std::string path = std::filesystem::absolute(device, error).lexically_normal().string();
    if (error || !std::filesystem::exists(path, error)) {
        std::fprintf(stderr, "kelbrin-ports: %s does not exist\n", device.c_str());
        return 1;
    }
    // A by-id name stays the same when the modem is replugged or others are added.
    const std::string byId = byIdLinkFor(path, kByIdDirectory);
    const std::string mapped = byId.empty() ? path : byId;
    const std::string file = portMapFiles(processEnvironment).user;
    if (const std::string problem = writePortAssignment(file, *port, mapped); !problem.empty()) {
        std::fprintf(stderr, "kelbrin-ports: %s\n", problem.c_str());
        return 1;
    }
    std::printf("COM%d = %s written to %s; the console uses it at its next Start.\n", *port,
                mapped.c_str(), file.c_str());
    if (processEnvironment(portVariableName(*port))) {
        std::printf("Note: %s is set in this environment and overrides the map.\n",
                    portVariableName(*port).c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments[0] == "assign") {
        if (arguments.size() != 3) {
            return usageError("assign takes a port and a device: assign COM3 /dev/ttyUSB2");
        }
        return assign(arguments[1], arguments[2]);
    }
    bool probe = false;
    std::vector<std::string> devices;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--probe") {
            probe = true;
        } else if (!argument.empty() && argument[0] == '-') {
            return usageError("unknown option " + argument);
        } else {
            devices.push_back(argument);
        }
    }
    return list(probe, devices);
}
