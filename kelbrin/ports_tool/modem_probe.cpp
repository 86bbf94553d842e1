#include "modem_probe.h"

#include "at_channel.h"
#include "at_parsers.h"
#include "at_text.h"
#include "byte_trace.h"
#include "modem_identity.h"
#include "registration.h"
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
            const AtReply reply = ask("AT", kSyncAttempt);
            if (reply.outcome == AtOutcome::Final) {
                return true;
            }
            if (reply.outcome == AtOutcome::PortLost) {
                return false;
            }
        }
        return false;
    }

    std::string identification(const std::string& command) {
        return readIdentification(m_channel, command, timeLeft());
    }

    std::string serialNumber() { return readSerialNumber(m_channel, timeLeft()); }

    void echoOff() { ask("ATE0", kCommandTimeout); }

    OperatorText simState() {
        const AtReply reply = ask("AT+CPIN?", kCommandTimeout);
        if (const AtEvent* line = reply.firstResponse()) {
            if (auto state = parseCpinResponse(line->line)) {
                return OperatorText(KELBRIN_TEXT("SIM %1$s"), *state);
            }
        }
        // +CME ERROR: 10, SIM not inserted (27.007 §9.2.1).
        return reply.errorCode == 10 ? OperatorText(KELBRIN_TEXT("no SIM"))
                                     : OperatorText(KELBRIN_TEXT("SIM state unknown"));
    }

    OperatorText registration() {
        const AtReply reply = ask("AT+CREG?", kCommandTimeout);
        const AtEvent* line = reply.firstResponse();
        const auto stat = line ? parseRegistrationResponse(line->line) : std::nullopt;
        return stat ? describeRegistrationStatus(*stat)
                    : OperatorText(KELBRIN_TEXT("registration unknown"));
    }

private:
    Milliseconds timeLeft(Milliseconds timeout = kCommandTimeout) const {
        const auto left = std::chrono::duration_cast<Milliseconds>(m_deadline - Clock::now());
        return std::clamp(left, Milliseconds(1), timeout);
    }

    AtReply ask(const std::string& line, Milliseconds timeout) {
        return m_channel.execute(AtCommand{line, timeLeft(timeout)});
    }

    WakeSignal m_wake;
    ByteTrace m_trace; // off: the probe talks to ports that may not be modems
    AtChannel m_channel;
    Clock::time_point m_deadline;
};

} // namespace

ProbeResult probeDevice(const SerialDevice& device) {
    if (device.canonical.empty()) {
        return {false, OperatorText(KELBRIN_TEXT("does not exist"))};
    }
    if (!device.holders.empty()) {
        return {false, OperatorText(KELBRIN_TEXT("not probed: in use by %1$s"), device.holders)};
    }
    PortSettings settings;
    settings.portNumber = device.ports.empty() ? 0 : device.ports.front();
    settings.path = device.canonical;
    settings.baud = kProbeBaud;
    PortOpenResult opened = openSerialPort(settings);
    if (!opened.port) {
        return {false, OperatorText(KELBRIN_TEXT("cannot open: %1$s"), opened.error)};
    }
    ModemQuestions modem(*opened.port, Clock::now() + kProbeBudget);
    if (!modem.answers()) {
        return {false, OperatorText(KELBRIN_TEXT("no answer"))};
    }
    modem.echoOff(); // so that every later line is an answer
    std::string name = modem.identification("AT+CGMI");
    const std::string model = modem.identification("AT+CGMM");
    name += (name.empty() || model.empty() ? "" : " ") + model;
    const std::string imei = modem.serialNumber();
    const OperatorText identity = name.empty()
                                      ? OperatorText(KELBRIN_TEXT("a modem without identification"))
                                      : OperatorText::verbatim(name);
    const OperatorText sim = modem.simState();
    const OperatorText registration = modem.registration();
    return {true, imei.empty()
                      ? OperatorText(KELBRIN_TEXT("%1$s, %2$s, %3$s"), identity, sim, registration)
                      : OperatorText(KELBRIN_TEXT("%1$s, IMEI %2$s, %3$s, %4$s"), identity, imei,
                                     sim, registration)};
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
