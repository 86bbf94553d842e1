#include "service_options.h"

#include "at_text.h"

namespace kelbrin {
namespace {

void overrideFromEnvironment(Milliseconds& timing, const char* name,
                             const EnvironmentLookup& environment) {
    if (const auto text = environment(name)) {
        if (const auto value = parseInt(*text); value && *value > 0) {
            timing = Milliseconds(*value);
        }
    }
}

} // namespace

SettingsResult sessionSettingsFor(const StartArguments& arguments,
                                  const EnvironmentLookup& environment) {
    SettingsResult result;
    const PortMapFiles maps = portMapFiles(environment);
    const auto resolved = resolvePort(arguments.port, environment, maps);
    if (!resolved) {
        result.error = OperatorText(KELBRIN_TEXT("port number %1$s is not valid: use 1 for COM1 "
                                                 "(/dev/ttyS0), 2 for COM2, ..."),
                                    arguments.port);
        return result;
    }
    if (!resolved->error.empty()) {
        result.error =
            OperatorText(KELBRIN_TEXT("the port map is not valid: %1$s"), resolved->error);
        return result;
    }
    if (arguments.dataBits != 8) {
        result.error = OperatorText(KELBRIN_TEXT("%1$s data bits are not supported: SMS modems "
                                                 "talk with 8 data bits"),
                                    arguments.dataBits);
        return result;
    }
    if (arguments.parity != 0) {
        result.error = OperatorText(KELBRIN_TEXT("parity %1$s is not supported: SMS modems talk "
                                                 "without parity (pass 0)"),
                                    arguments.parity);
        return result;
    }
    const std::string storage = arguments.storage ? arguments.storage : "";
    if (storage.empty() || storage == "card") {
        result.settings.storage = "SM";
    } else if (storage == "phone") {
        result.settings.storage = "ME";
    } else {
        result.error = OperatorText(KELBRIN_TEXT("message storage \"%1$s\" is not known: use "
                                                 "\"card\" (the SIM) or \"phone\" (the modem)"),
                                    storage);
        return result;
    }
    result.settings.port = PortSettings{arguments.port,        resolved->path,   arguments.baud,
                                        arguments.rtsCts != 0, resolved->origin, maps.user};
    auto& timings = result.settings.timings;
    overrideFromEnvironment(timings.prompt, "KELBRIN_PROMPT_TIMEOUT_MS", environment);
    overrideFromEnvironment(timings.sendResult, "KELBRIN_RESULT_TIMEOUT_MS", environment);
    overrideFromEnvironment(timings.listPoll, "KELBRIN_POLL_MS", environment);
    overrideFromEnvironment(timings.reassembly, "KELBRIN_REASSEMBLY_TIMEOUT_MS", environment);
    overrideFromEnvironment(timings.reconnect, "KELBRIN_RECONNECT_MS", environment);
    return result;
}

} // namespace kelbrin
