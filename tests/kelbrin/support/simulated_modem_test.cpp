#include "simulated_modem_test.h"

#include <cstdlib>

#include <thread>
#include <unistd.h>

namespace kelbrin::testing {

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

void SimulatedModemTest::SetUp() {
    for (const char* name :
         {"KELBRIN_PROMPT_TIMEOUT_MS", "KELBRIN_RESULT_TIMEOUT_MS", "KELBRIN_POLL_MS",
          "KELBRIN_REASSEMBLY_TIMEOUT_MS", "KELBRIN_RECONNECT_MS"}) {
        ::unsetenv(name);
    }
    lib.reset();
}

void SimulatedModemTest::TearDown() {
    lib.stop();
    m_sim.reset();
    if (!m_folder.empty()) {
        ::rmdir(m_folder.c_str());
    }
}

modemsim::Simulator& SimulatedModemTest::startSimulator(const modemsim::Scenario& scenario) {
    modemsim::SimulatorOptions options;
    options.scenario = scenario;
    return startSimulator(options);
}

modemsim::Simulator& SimulatedModemTest::startSimulator(modemsim::SimulatorOptions options) {
    // COM1 is a link to the terminal, as /dev/serial/by-id links are to USB modems: a replug
    // moves the link to the new terminal.
    if (m_folder.empty()) {
        char folder[] = "/tmp/kelbrin-test-XXXXXX";
        m_folder = ::mkdtemp(folder) != nullptr ? folder : "";
    }
    options.linkPath = m_folder + "/modem";
    m_sim.reset();
    m_sim = std::make_unique<modemsim::Simulator>(options);
    ::setenv("KELBRIN_COM1", options.linkPath.c_str(), 1);
    return *m_sim;
}

modemsim::Simulator& SimulatedModemTest::startService(const modemsim::Scenario& scenario) {
    startSimulator(scenario);
    EXPECT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
    return *m_sim;
}

} // namespace kelbrin::testing
