#include "modem_probe.h"

#include "at_channel.h"
#include "at_parsers.h"
#include "at_text.h"
#include "byte_trace.h"
#include "serial_port.h"
#include "wake_signal.h"

#include <algorithm>
#include <thread>

namespace kelbrin {
namespace {

constexpr int32_t kProbeBaud = 115200;
constexpr Milliseconds kSyncBudget{1200};    // a silent port gives up after this
constexpr Milliseconds kSyncAttempt{300};    // one AT of the sync
constexpr Milliseconds kCommandTimeout{800}; // modems answer identification at once
constexpr Milliseconds kProbeBudget{3000};   // all of one device's questions
constexpr char kEscape = '\x1B';

class ModemQuestions {
public:
    ModemQuestions(SerialPort& port, Clock::time_point deadline)
        : m_channel(port, m_wake, m_trace), m_deadline(deadline) {}

    // ESC closes a "> " prompt someone left open; then AT until OK, as the service's handshake.
    bool answers() {
        m_channel.writeRaw(std::string(1, kEscape));
        const auto syncEnd = std::min(m_deadline, Clock::now() + kSyncBudget);
        while (Clock::now() < syncEnd) {
            const AtReply reply = ask("AT", "", kSyncAttempt);
            if (reply.outcome == AtOutcome::Final) {
                return true;
            }
            if (reply.outcome == AtOutcome::PortLost) {
                return false;
            }
        }
        return false;
    }

    // The identification commands of 27.007 §5 answer with a bare text line; a few modems put
    // "+CGMI: " before it.
    std::string identification(const std::string& command) {
        m_channel.takeUrcs();
        if (!ask(command, "", kCommandTimeout).ok()) {
            return {};
        }
        for (const AtEvent& line : m_channel.takeUrcs()) {
            std::string_view text = trim(line.line);
            if (startsWith(text, command.substr(2) + ":")) {
                text = trim(text.substr(command.size() - 1));
            }
            if (!text.empty()) {
                return std::string(text);
            }
        }
        return {};
    }

    void echoOff() { ask("ATE0", "", kCommandTimeout); }

    std::string simState() {
        const AtReply reply = ask("AT+CPIN?", "+CPIN:", kCommandTimeout);
        if (const AtEvent* line = reply.firstResponse()) {
            if (auto state = parseCpinResponse(line->line)) {
                return "SIM " + *state;
            }
        }
        // +CME ERROR: 10, SIM not inserted (27.007 §9.2.1).
        return reply.errorCode == 10 ? "no SIM" : "SIM state unknown";
    }

    std::string registration() {
        const AtReply reply = ask("AT+CREG?", "+CREG:", kCommandTimeout);
        const AtEvent* line = reply.firstResponse();
        const auto stat = line ? parseRegistrationResponse(line->line) : std::nullopt;
        // <stat> of 27.007 §7.2.
        switch (stat.value_or(-1)) {
        case 0:
            return "not registered";
        case 1:
            return "registered (home network)";
        case 2:
            return "searching for a network";
        case 3:
            return "registration denied";
        case 5:
            return "registered (roaming)";
        case 6:
            return "registered for SMS only (home network)";
        case 7:
            return "registered for SMS only (roaming)";
        default:
            return "registration unknown";
        }
    }

private:
    AtReply ask(const std::string& line, const std::string& prefix, Milliseconds timeout) {
        const auto left = std::chrono::duration_cast<Milliseconds>(m_deadline - Clock::now());
        return m_channel.execute(
            AtCommand{line, prefix, std::clamp(left, Milliseconds(1), timeout), false});
    }

    WakeSignal m_wake;
    ByteTrace m_trace; // off: the probe talks to ports that may not be modems
    AtChannel m_channel;
    Clock::time_point m_deadline;
};

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (!part.empty()) {
            text += (text.empty() ? "" : ", ") + part;
        }
    }
    return text;
}

} // namespace

ProbeResult probeDevice(const SerialDevice& device) {
    if (device.canonical.empty()) {
        return {false, "does not exist"};
    }
    if (!device.holders.empty()) {
        return {false, "not probed: in use by " + device.holders};
    }
    PortSettings settings;
    settings.portNumber = device.ports.empty() ? 0 : device.ports.front();
    settings.path = device.canonical;
    settings.baud = kProbeBaud;
    PortOpenResult opened = openSerialPort(settings);
    if (!opened.port) {
        return {false, "cannot open: " + opened.error.english()};
    }
    ModemQuestions modem(*opened.port, Clock::now() + kProbeBudget);
    if (!modem.answers()) {
        return {false, "no answer"};
    }
    modem.echoOff(); // so that every later line is an answer
    std::string name = modem.identification("AT+CGMI");
    const std::string model = modem.identification("AT+CGMM");
    name += (name.empty() || model.empty() ? "" : " ") + model;
    const std::string imei = modem.identification("AT+CGSN");
    return {true,
            joined({name.empty() ? "a modem without identification" : name,
                    imei.empty() ? "" : "IMEI " + imei, modem.simState(), modem.registration()})};
}

std::vector<ProbeResult> probeDevices(const std::vector<SerialDevice>& devices) {
    std::vector<ProbeResult> results(devices.size());
    std::vector<std::thread> probes;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        probes.emplace_back([&, i] { results[i] = probeDevice(devices[i]); });
    }
    for (std::thread& probe : probes) {
        probe.join();
    }
    return results;
}

} // namespace kelbrin
