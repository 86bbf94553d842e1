// kelbrin-ports: which serial devices this machine has, which of them a modem answers on, and
// the COM number the SMS service library reaches each one by; `assign` writes the user's map.

#include "at_text.h"
#include "baud_rate.h"
#include "device_table.h"
#include "modem_check.h"
#include "modem_probe.h"
#include "port_assignment.h"
#include "port_diagnostics.h"
#include "port_map.h"
#include "serial_devices.h"
#include "submit_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace kelbrin;

constexpr int kUsageError = 2;

const TextFormat kUsage = KELBRIN_TEXT(
    "Usage: kelbrin-ports [--probe] [DEVICE...]\n"
    "       kelbrin-ports assign COM<N> DEVICE\n"
    "       kelbrin-ports check COM<N>|DEVICE...|--all [--baud N] [--send-to NUMBER]\n"
    "                           [--json] [--trace FILE]\n"
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
    "  check     a checklist of each modem: device, answer, identity, SIM, signal,\n"
    "            network, PDU mode, service centre, storage, indications. Each step is\n"
    "            ok, warn or FAIL, with what to do. Changes no setting of the modem.\n"
    "            Exit status 0 when no step failed, 1 when one did. Several modems are\n"
    "            checked at once.\n"
    "    --all       every mapped port and every free device a modem answers on\n"
    "    --baud N    the speed to talk at (default 115200)\n"
    "    --send-to NUMBER  also send one message there (it may cost money) and time\n"
    "                its status report and a message back from NUMBER\n"
    "    --json      print the checklists as one JSON object\n"
    "    --trace FILE  append the dialogue to FILE (the KELBRIN_TRACE format; one port)\n"
    "  --help    show this text.\n"
    "\n"
    "COM<N> is KELBRIN_COM<N> when set, else the line COM<N> = <path> of\n"
    "$XDG_CONFIG_HOME/kelbrin/ports (~/.config/kelbrin/ports), else of /etc/kelbrin/ports,\n"
    "else /dev/ttyS<N-1>. See kelbrin-ports(1).\n");

/// The language of this process's locale, by the rule the library and the console follow.
TextLanguage toolLanguage() {
    static const TextLanguage language = processTextLanguage();
    return language;
}

std::string say(const OperatorText& text) {
    return text.in(toolLanguage());
}

int usageError(const OperatorText& problem) {
    std::fprintf(stderr, "kelbrin-ports: %s\n\n%s", say(problem).c_str(),
                 say(OperatorText(kUsage)).c_str());
    return kUsageError;
}

int list(bool probe, const std::vector<std::string>& extraPaths) {
    const PortMapFiles maps = portMapFiles(processEnvironment);
    std::vector<OperatorText> mapErrors;
    const std::vector<SerialDevice> devices =
        findSerialDevices(extraPaths, processEnvironment, maps, mapErrors);
    for (const OperatorText& error : mapErrors) {
        std::fprintf(stderr, "kelbrin-ports: %s\n", say(error).c_str());
    }
    std::vector<OperatorText> lastColumn;
    if (probe) {
        for (ProbeResult& result : probeDevices(devices)) {
            lastColumn.push_back(std::move(result.summary));
        }
    } else {
        for (const SerialDevice& device : devices) {
            lastColumn.push_back(
                device.canonical.empty() ? OperatorText(KELBRIN_TEXT("does not exist"))
                : device.holders.empty()
                    ? OperatorText(KELBRIN_TEXT("free"))
                    : OperatorText(KELBRIN_TEXT("in use by %1$s"), device.holders));
        }
    }
    std::fputs(deviceTable(devices,
                           probe ? OperatorText(KELBRIN_TEXT("MODEM"))
                                 : OperatorText(KELBRIN_TEXT("STATE")),
                           lastColumn, toolLanguage())
                   .c_str(),
               stdout);
    std::printf("\n%s\n", say(OperatorText(KELBRIN_TEXT("Map a port with: kelbrin-ports assign "
                                                        "COM<N> <device>   (writes %1$s)"),
                                           maps.user))
                              .c_str());
    return 0;
}

int assign(const std::string& portName, const std::string& device) {
    const auto port = parseComName(portName);
    if (!port) {
        return usageError(
            OperatorText(KELBRIN_TEXT("\"%1$s\" is not a port name like COM3"), portName));
    }
    std::error_code error;
    const std::string path = std::filesystem::absolute(device, error).lexically_normal().string();
    if (error || !std::filesystem::exists(path, error)) {
        std::fprintf(stderr, "kelbrin-ports: %s\n",
                     say(OperatorText(KELBRIN_TEXT("%1$s does not exist"), device)).c_str());
        return 1;
    }
    // A by-id name stays the same when the modem is replugged or others are added.
    const std::string byId = byIdLinkFor(path, kByIdDirectory);
    const std::string mapped = byId.empty() ? path : byId;
    const std::string file = portMapFiles(processEnvironment).user;
    if (const OperatorText problem = writePortAssignment(file, *port, mapped); !problem.empty()) {
        std::fprintf(stderr, "kelbrin-ports: %s\n", say(problem).c_str());
        return 1;
    }
    std::printf("%s\n", say(OperatorText(KELBRIN_TEXT("COM%1$s = %2$s written to %3$s; the console "
                                                      "uses it at its next Start."),
                                         *port, mapped, file))
                            .c_str());
    if (processEnvironment(portVariableName(*port))) {
        std::printf("%s\n",
                    say(OperatorText(KELBRIN_TEXT("Note: %1$s is set in this environment and "
                                                  "overrides the map."),
                                     portVariableName(*port)))
                        .c_str());
    }
    return 0;
}

// The ports the operator mapped (a variable or a map line), and every other free device that a
// modem answers on.
std::vector<std::string> everyModem() {
    const PortMapFiles maps = portMapFiles(processEnvironment);
    std::vector<OperatorText> mapErrors;
    const std::vector<SerialDevice> devices =
        findSerialDevices({}, processEnvironment, maps, mapErrors);
    std::vector<std::string> targets;
    std::vector<SerialDevice> unmapped;
    for (const SerialDevice& device : devices) {
        std::string mapped;
        for (int32_t port : device.ports) {
            const auto resolved = resolvePort(port, processEnvironment, maps);
            if (mapped.empty() && resolved && !resolved->origin.empty()) {
                mapped = "COM" + std::to_string(port);
            }
        }
        if (!mapped.empty()) {
            targets.push_back(mapped);
        } else if (!device.canonical.empty() && device.holders.empty()) {
            unmapped.push_back(device);
        }
    }
    const std::vector<ProbeResult> probed = probeDevices(unmapped);
    for (std::size_t i = 0; i < unmapped.size(); ++i) {
        if (probed[i].answered) {
            targets.push_back(unmapped[i].path);
        }
    }
    return targets;
}

int check(const std::vector<std::string>& arguments) {
    CheckOptions options;
    std::vector<std::string> targets;
    bool all = false;
    bool json = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--all") {
            all = true;
        } else if (argument == "--json") {
            json = true;
        } else if (argument == "--baud" && hasValue) {
            const auto baud = parseInt(arguments[++i]);
            if (!baud || !baudRateConstant(*baud)) {
                return usageError(
                    OperatorText(KELBRIN_TEXT("--baud takes a speed: %1$s"), supportedBaudRates()));
            }
            options.baud = *baud;
        } else if (argument == "--send-to" && hasValue) {
            const auto number = normalisePhoneNumber(arguments[++i]);
            if (!number) {
                return usageError(
                    OperatorText(KELBRIN_TEXT("\"%1$s\" is not a phone number"), arguments[i]));
            }
            options.sendTo = *number;
        } else if (argument == "--trace" && hasValue) {
            options.tracePath = arguments[++i];
        } else if (!argument.empty() && argument[0] == '-') {
            return usageError(OperatorText(
                KELBRIN_TEXT("check: unknown option or missing value: %1$s"), argument));
        } else {
            targets.push_back(argument);
        }
    }
    if (all) {
        for (std::string& found : everyModem()) {
            targets.push_back(std::move(found));
        }
    } else if (targets.empty()) {
        return usageError(
            OperatorText(KELBRIN_TEXT("check takes a port (COM3), a device, or --all")));
    }
    if (!options.tracePath.empty() && targets.size() != 1) {
        return usageError(OperatorText(
            KELBRIN_TEXT("--trace records the dialogue with one modem: name one port")));
    }
    if (!options.tracePath.empty()) {
        std::FILE* trace = std::fopen(options.tracePath.c_str(), "ae");
        if (trace == nullptr) {
            return usageError(OperatorText(KELBRIN_TEXT("cannot write the trace to %1$s: %2$s"),
                                           options.tracePath, describeSystemError(errno)));
        }
        std::fclose(trace);
    }
    const std::vector<ModemChecklist> checklists = checkModems(targets, options);
    std::fputs(json ? checklistsJson(checklists, toolLanguage()).c_str()
                    : formatChecklists(checklists, toolLanguage()).c_str(),
               stdout);
    const bool failed = std::any_of(checklists.begin(), checklists.end(),
                                    [](const ModemChecklist& list) { return list.failed(); });
    return failed || checklists.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments[0] == "assign") {
        if (arguments.size() != 3) {
            return usageError(OperatorText(
                KELBRIN_TEXT("assign takes a port and a device: assign COM3 /dev/ttyUSB2")));
        }
        return assign(arguments[1], arguments[2]);
    }
    if (!arguments.empty() && arguments[0] == "check") {
        return check({arguments.begin() + 1, arguments.end()});
    }
    bool probe = false;
    std::vector<std::string> devices;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(say(OperatorText(kUsage)).c_str(), stdout);
            return 0;
        }
        if (argument == "--probe") {
            probe = true;
        } else if (!argument.empty() && argument[0] == '-') {
            return usageError(OperatorText(KELBRIN_TEXT("unknown option %1$s"), argument));
        } else {
            devices.push_back(argument);
        }
    }
    return list(probe, devices);
}
