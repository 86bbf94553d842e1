// Every misbehaviour the simulator can show, each against the flows it can break: start, a send
// with its status report, and a received message.
#include "simulated_modem_test.h"

#include <ostream>

namespace kelbrin::testing {
namespace {

struct FaultRow {
    const char* name;
    std::function<void(modemsim::Scenario&)> setUp;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const FaultRow& row, std::ostream* out) {
    *out << row.name;
}

class FaultSwitchTest : public SimulatedModemTest,
                        public ::testing::WithParamInterface<FaultRow> {};

TEST_P(FaultSwitchTest, StartSendReportAndReceiveStillWork) {
    modemsim::Scenario scenario;
    scenario.settings.reportDelay = 10ms;
    scenario.settings.reportOutcome = modemsim::ReportOutcome::Failed; // visible in SMSQuery
    GetParam().setUp(scenario);
    auto& sim = startService(scenario);

    const int32_t index = lib.sendText("fault test ☃", "+31612345678");
    const auto report = lib.waitReport(5s);
    ASSERT_TRUE(report) << lib.lastErrorText();
    EXPECT_EQ(report->index, index);
    EXPECT_NE(report->status, 0) << lib.lastErrorText();
    EXPECT_TRUE(lib.waitQuery(index, 0, 3s)) << "status report matched: " << lib.query(index);

    ASSERT_EQ(sim.control("deliver from=+4930123456 text=\"incoming ☃\""), "OK\n");
    const auto message = lib.waitMessage(5s);
    ASSERT_TRUE(message) << lib.lastErrorText();
    EXPECT_EQ(fieldText(message->text), "incoming ☃");
    EXPECT_FALSE(lib.waitMessage(300ms)) << "delivered once";
}

const std::vector<FaultRow> kFaults = {
    {"NoFault", [](auto&) {}},
    {"SplitBytes", [](auto& s) { s.faults.splitBytes = true; }},
    {"EchoStuck", [](auto& s) { s.faults.echoStuck = true; }},
    {"UrcFlood",
     [](auto& s) {
         s.faults.urcFlood = true;
         s.faults.urcFloodPeriod = std::chrono::milliseconds(20);
         s.faults.urcInReply = modemsim::UrcInReply::Always;
     }},
    {"BarePrompt", [](auto& s) { s.faults.prompt = modemsim::PromptStyle::Bare; }},
    {"CrLfPrompt", [](auto& s) { s.faults.prompt = modemsim::PromptStyle::CrLf; }},
    {"CpinWithoutOk", [](auto& s) { s.faults.cpinWithoutOk = true; }},
    {"SimBusy", [](auto& s) { s.faults.simBusyCommands = 4; }},
    {"CommandDelay", [](auto& s) { s.faults.commandDelay = std::chrono::milliseconds(30); }},
    {"CommandNotSupport", [](auto& s) { s.faults.commandNotSupport = true; }},
    {"CdsNoSpace", [](auto& s) { s.faults.cdsForm = modemsim::CdsForm::NoSpace; }},
    {"CdsComma", [](auto& s) { s.faults.cdsForm = modemsim::CdsForm::Comma; }},
    {"UrcInsideResponse",
     [](auto& s) {
         // Held codes come out only with the next reply: the periodic listing is that reply.
         ::setenv("KELBRIN_POLL_MS", "100", 1);
         s.faults.urcInsideResponse = true;
     }},
    {"RouteAndStore", [](auto& s) { s.faults.routeAndStore = true; }},
    {"RefuseCnmiMode2", [](auto& s) { s.faults.refuseCnmiMode2 = true; }},
    {"RefuseCnmiDs1", [](auto& s) { s.faults.refuseCnmiDs1 = true; }},
    {"ReportsInSm",
     [](auto& s) {
         s.faults.refuseCnmiDs1 = true; // ds=2: reports stored, in SM
         s.faults.reportsInSm = true;
     }},
    {"CmgrWithoutStat", [](auto& s) { s.faults.cmgrWithoutStat = true; }},
    {"CmglWithoutAlpha", [](auto& s) { s.faults.cmglWithoutAlpha = true; }},
    {"AtzError", [](auto& s) { s.faults.atzError = true; }},
};

INSTANTIATE_TEST_SUITE_P(Faults, FaultSwitchTest, ::testing::ValuesIn(kFaults),
                         [](const auto& row) { return std::string(row.param.name); });

using FaultTest = SimulatedModemTest;

TEST_F(FaultTest, StorageFullLeavesNothingStuck) {
    // The library keeps the store empty; a full memory holds messages in the network until the
    // modem has room again.
    modemsim::Scenario scenario;
    scenario.faults.storageFull = true;
    auto& sim = startService(scenario);
    ASSERT_EQ(sim.control("deliver from=+4930123456 text=\"waiting\""), "OK\n");
    EXPECT_FALSE(lib.waitMessage(300ms));
    auto faults = sim.faults();
    faults.storageFull = false;
    sim.setFaults(faults);
    ASSERT_EQ(sim.control("deliver from=+4930123456 text=\"after\""), "OK\n");
    std::set<std::string> texts;
    while (auto message = lib.waitMessage(2s)) {
        texts.insert(fieldText(message->text));
    }
    EXPECT_TRUE(texts.count("after")) << "receiving works once there is room";
}

TEST_F(FaultTest, SilentModemFailsStartWithinThreeSeconds) {
    modemsim::Scenario scenario;
    scenario.faults.silent = true;
    startSimulator(scenario);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(lib.startCom1(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
    EXPECT_NE(lib.lastErrorText().find("baud rate"), std::string::npos);
}

} // namespace
} // namespace kelbrin::testing
