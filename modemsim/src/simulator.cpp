#include "modemsim/simulator.h"

#include "event_loop.h"

namespace modemsim {

namespace {

SimulatorOptions withScenario(const Scenario& scenario) {
    SimulatorOptions options;
    options.scenario = scenario;
    return options;
}

} // namespace

Simulator::Simulator(const Scenario& scenario) : Simulator(withScenario(scenario)) {}

Simulator::Simulator(const SimulatorOptions& options)
    : m_loop(std::make_unique<EventLoop>(options)) {}

Simulator::~Simulator() = default;

std::string Simulator::terminalPath() const {
    return m_loop->terminalPath();
}

std::string Simulator::control(std::string_view line) {
    return m_loop->withModem<std::string>(
        [line](Modem& modem) { return modem.control(line, Modem::Clock::now()); });
}

Faults Simulator::faults() const {
    return m_loop->withModem<Faults>([](Modem& modem) { return modem.faults(); });
}

void Simulator::setFaults(const Faults& faults) {
    m_loop->withModem<bool>([&faults](Modem& modem) {
        modem.setFaults(faults, Modem::Clock::now());
        return true;
    });
}

Counters Simulator::counters() const {
    return m_loop->withModem<Counters>([](Modem& modem) { return modem.counters(); });
}

std::vector<StoredMessage> Simulator::storedMessages() const {
    return m_loop->withModem<std::vector<StoredMessage>>(
        [](Modem& modem) { return modem.storedMessages(); });
}

void Simulator::hangUp() {
    control("hangup");
}

} // namespace modemsim
