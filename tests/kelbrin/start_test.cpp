// SMSStartService against the simulator and against ports that cannot work: every failure has
// its own operator text, and none takes longer than the contract allows.
#include "simulated_modem_test.h"

#include <modemsim/scenario_file.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <variant>

namespace kelbrin::testing {
namespace {

using StartTest = SimulatedModemTest;

modemsim::Scenario scenarioFrom(const char* text) {
    auto scenario = modemsim::parseScenario(text);
    if (const auto* error = std::get_if<std::string>(&scenario)) {
        ADD_FAILURE() << "modemsim does not take \"" << text << "\": " << *error;
        return {};
    }
    return std::get<modemsim::Scenario>(scenario);
}

TEST_F(StartTest, StartsStopsAndStartsAgain) {
    // Replies 200 ms late: when Start returns, the IMEI question that follows it may have reached
    // the modem, and nothing after it.
    modemsim::Scenario slow;
    slow.faults.commandDelay = 200ms;
    auto& sim = startService(slow);
    EXPECT_LE(sim.counters().commandLines, 7 + 1) << "a ready modem needs 7 round trips";
    EXPECT_EQ(lib.stop(), 1);
    EXPECT_EQ(lib.stop(), 1) << "stopping a stopped service is fine";
    EXPECT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
    EXPECT_EQ(lib.startCom1(), 1) << "a second start restarts: " << lib.lastErrorText();
}

TEST_F(StartTest, EachModemProblemHasItsOwnText) {
    struct Row {
        const char* name;
        std::function<void(modemsim::Scenario&)> setUp;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"SIM PIN", [](auto& s) { s.settings.sim = modemsim::SimState::PinRequired; },
         "asks for its PIN"},
        {"no SIM", [](auto& s) { s.settings.sim = modemsim::SimState::Absent; }, "no SIM card"},
        {"no service centre", [](auto& s) { s.settings.smsc = ""; }, "no service centre number"},
        {"registration denied", [](auto& s) { s.settings.registration = 3; },
         "refused to register"},
        {"not registered", [](auto& s) { s.settings.registration = 0; },
         "not registered on a network"},
        {"silent", [](auto& s) { s.faults.silent = true; }, "no answer from a modem"},
    };
    std::set<std::string> texts;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        modemsim::Scenario scenario;
        row.setUp(scenario);
        startSimulator(scenario);
        // The second Start follows one whose last command went unanswered (silent): it must
        // not take that for a modem answering late.
        for (const char* start : {"first", "second"}) {
            const auto before = std::chrono::steady_clock::now();
            EXPECT_EQ(lib.startCom1(), 0) << start;
            const auto took = std::chrono::steady_clock::now() - before;
            EXPECT_LT(took, 3s) << start << " Start fails within 3 s";
            const std::string text = lib.lastErrorText();
            EXPECT_NE(text.find(row.expected), std::string::npos) << start << ": " << text;
            texts.insert(text);
        }
        lib.reset();
    }
    EXPECT_EQ(texts.size(), rows.size()) << "every failure reads differently";
}

TEST_F(StartTest, EachPortProblemHasItsOwnText) {
    struct Row {
        const char* name;
        std::function<int32_t(const KelbrinLibrary&)> start;
        const char* expected;
    };
    auto& sim = startSimulator();
    const std::vector<Row> rows = {
        {"missing device",
         [](const auto& l) {
             ::setenv("KELBRIN_COM9", "/dev/kelbrin-test-no-such-device", 1);
             return l.start(9, 115200, 2, 8, 0, 0, "card");
         },
         "COM9 is set by KELBRIN_COM9"},
        {"unknown baud", [](const auto& l) { return l.start(1, 12345, 2, 8, 0, 0, "card"); },
         "baud rate 12345"},
        {"port 0", [](const auto& l) { return l.start(0, 115200, 2, 8, 0, 0, "card"); },
         "port number 0"},
        {"7 data bits", [](const auto& l) { return l.start(1, 115200, 2, 7, 0, 0, "card"); },
         "7 data bits"},
        {"even parity", [](const auto& l) { return l.start(1, 115200, 2, 8, 2, 0, "card"); },
         "parity 2"},
        {"unknown storage", [](const auto& l) { return l.start(1, 115200, 2, 8, 0, 0, "cloud"); },
         "storage \"cloud\""},
        {"not a serial device",
         [](const auto& l) {
             ::setenv("KELBRIN_COM8", "/dev/null", 1);
             return l.start(8, 115200, 2, 8, 0, 0, "card");
         },
         "not a serial device"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.start(lib), 0);
        EXPECT_NE(lib.lastErrorText().find(row.expected), std::string::npos) << lib.lastErrorText();
    }
    (void)sim;
}

// No KELBRIN_COM4: the user's map leads COM4 to the simulator. The map is read at each start, so
// a line written while the library is loaded counts at the next start; a malformed line stops the
// start with the file and the line, in the last error and in the trace.
TEST_F(StartTest, UserMapIsReadAtEachStart) {
    auto& sim = startSimulator();
    char folder[] = "/tmp/kelbrin-start-map-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string map = std::string(folder) + "/kelbrin/ports";
    const std::string trace = std::string(folder) + "/trace";
    ::mkdir((std::string(folder) + "/kelbrin").c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    ::setenv("KELBRIN_TRACE", trace.c_str(), 1);
    const auto writeMap = [&](const std::string& text) { std::ofstream(map) << text; };
    const auto startCom4 = [&] { return lib.start(4, 115200, 2, 8, 0, 0, "card"); };

    writeMap("# desk\nCOM4 = " + std::string(folder) + "/unplugged\n");
    EXPECT_EQ(startCom4(), 0);
    EXPECT_NE(lib.lastErrorText().find("COM4 is mapped in " + map + " line 2"), std::string::npos)
        << lib.lastErrorText();
    EXPECT_NE(lib.lastErrorText().find("kelbrin-ports --probe"), std::string::npos);

    writeMap("# desk\nCOM4 " + sim.terminalPath() + "\n");
    EXPECT_EQ(startCom4(), 0);
    EXPECT_NE(lib.lastErrorText().find(map + " line 2: "), std::string::npos)
        << lib.lastErrorText();

    writeMap("# desk\nCOM4 = " + sim.terminalPath() + "\n");
    EXPECT_EQ(startCom4(), 1) << lib.lastErrorText();
    lib.stop();
    std::ifstream traced(trace);
    const std::string log((std::istreambuf_iterator<char>(traced)), {});
    EXPECT_NE(log.find("start refused: the port map is not valid: " + map + " line 2"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("COM4 (" + sim.terminalPath() + ") from " + map + " line 2"),
              std::string::npos)
        << log;
    ::unsetenv("KELBRIN_TRACE");
    std::filesystem::remove_all(folder);
}

TEST_F(StartTest, PortHeldByAnotherProgramIsNamed) {
    auto& sim = startSimulator();
    const int holder = ::open(sim.terminalPath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(lib.startCom1(), 0);
    ::close(holder);
    EXPECT_NE(lib.lastErrorText().find("is in use by process " + std::to_string(::getpid())),
              std::string::npos)
        << lib.lastErrorText();
    EXPECT_EQ(lib.startCom1(), 1) << "free again";
}

TEST_F(StartTest, ModemStillSearchingFailsAtTheFiveSecondDeadline) {
    modemsim::Scenario scenario;
    scenario.settings.registration = 2; // searching, for ever
    startSimulator(scenario);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(lib.startCom1(), 0);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LE(took, 5s);
    EXPECT_GE(took, 4s) << "registration is waited for as long as the deadline allows";
    EXPECT_NE(lib.lastErrorText().find("still searching for a network"), std::string::npos)
        << lib.lastErrorText();
}

TEST_F(StartTest, SlowSleepyBootingAndLteModemsStartWithinTheDeadline) {
    struct Row {
        const char* name;
        const char* scenario; // modemsim's scenario language
        std::chrono::milliseconds within = 5s;
    };
    const std::vector<Row> rows = {
        {"every reply 400 ms late", "set command_delay_ms 400"},
        {"SIM busy after boot", "set sim_busy 3"},
        {"registered for SMS only, home (+CREG stat 6)", "set registration 6"},
        {"registered for SMS only, roaming (+CREG stat 7)", "set registration 7"},
        {"first reply 1.5 s late (USB autosuspend)", "set sleepy_first_reply_ms 1500"},
        {"left in numeric result mode (V0)", "set result_mode numeric"},
        {"left in quiet mode (Q1)", "set result_mode quiet"},
        {"SMS stack ready 2 s after power-up", "set sms_ready_ms 2000"},
        // "SMS Ready" ends the wait of 1 s before AT+CMGF is asked again.
        {"SMS stack ready 200 ms after power-up", "set sms_ready_ms 200", 600ms},
        {"LTE only: +CREG 0, +CEREG 1",
         "set registration 0\nset gprs_registration 0\nset eps_registration 1"},
        {"flight mode, registers once switched on", "set cfun 4\nset register_delay_ms 500"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        startSimulator(scenarioFrom(row.scenario));
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
        const auto took = std::chrono::steady_clock::now() - before;
        EXPECT_LE(took, row.within)
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
        lib.reset();
    }
}

TEST_F(StartTest, BusyBackOffWaitsItsTimeWhileUnsolicitedCodesPourIn) {
    modemsim::Scenario scenario;
    scenario.faults.simBusyCommands = 2;
    scenario.faults.urcFlood = true;
    scenario.faults.urcFloodPeriod = 20ms;
    scenario.faults.urcInReply = modemsim::UrcInReply::Always;
    startSimulator(scenario);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
    EXPECT_GE(std::chrono::steady_clock::now() - before, 600ms)
        << "two back-offs of 200 and 400 ms, not cut short by every ^RSSI";
}

TEST_F(StartTest, ModemThatStaysUnreadyFailsWithWhatToDo) {
    struct Row {
        const char* name;
        const char* scenario;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"SMS stack still starting", "set sms_ready_ms 20000",
         "may still be starting (or may not support this command); start again"},
        {"radio off, no network", "set cfun 4\nset register_delay_ms 60000",
         "radio switched on: start again in a minute"},
        {"every reply 700 ms late: out of time", "set command_delay_ms 700",
         "answers slowly (about "},
        {"SMS stack answering a plain ERROR (SIMCom A7670E)",
         "set sms_ready_ms 20000\nset sms_not_ready_plain on",
         "(AT+CMGF=0): the modem still answered ERROR when start-up ran out of time: it may still "
         "be starting"},
        {"answers that stay one command late (u-blox SARA-G450)", "set lagging_replies 1000",
         "answers out of step (its answers come one command late)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        startSimulator(scenarioFrom(row.scenario));
        EXPECT_EQ(lib.startCom1(), 0);
        EXPECT_NE(lib.lastErrorText().find(row.expected), std::string::npos) << lib.lastErrorText();
        lib.reset();
    }
}

TEST_F(StartTest, OtherEntryPointsStayResponsiveWhileStartWaits) {
    modemsim::Scenario scenario;
    scenario.faults.silent = true;
    startSimulator(scenario);
    std::thread starter([&] { EXPECT_EQ(lib.startCom1(), 0); });
    std::this_thread::sleep_for(100ms);
    auto slowest = std::chrono::nanoseconds(0);
    for (int i = 0; i < 200; ++i) {
        const auto before = std::chrono::steady_clock::now();
        SMSReportRecord report{};
        SMSMessageRecord message{};
        lib.query(1);
        lib.report(&report);
        lib.nextMessage(&message);
        slowest = std::max(slowest, std::chrono::steady_clock::now() - before);
        std::this_thread::sleep_for(1ms);
    }
    starter.join();
    EXPECT_LT(slowest, 50ms);
}

} // namespace
} // namespace kelbrin::testing
