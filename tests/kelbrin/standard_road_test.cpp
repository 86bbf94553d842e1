// The library's standard road on every built-in modem personality, at the personality's own
// pace and with the timing of slow real modems: Start; a short and a long UCS2 send with their
// reports; a stored backlog and a new message received; Query; Stop.
#include "simulated_modem_test.h"

#include <modemsim/scenario_file.h>

#include <set>
#include <tuple>
#include <variant>

namespace kelbrin::testing {
namespace {

struct Pace {
    const char* name;
    const char* setting; // a modemsim control command, or nothing
};

const Pace kPaces[] = {
    {"OwnPace", nullptr},
    {"EveryReply400msLate", "set command_delay_ms 400"},
    {"FirstReply1500msLate", "set sleepy_first_reply_ms 1500"},
    {"CmgsAfter5s", "set send_delay_ms 5000"},
};

void PrintTo(const Pace& pace, std::ostream* out) {
    *out << pace.name;
}

class StandardRoad : public SimulatedModemTest,
                     public ::testing::WithParamInterface<std::tuple<std::string, Pace>> {};

TEST_P(StandardRoad, StartSendReceiveQueryStop) {
    const auto& [personality, pace] = GetParam();
    auto loaded = modemsim::loadScenario(personality);
    ASSERT_TRUE(std::holds_alternative<modemsim::Scenario>(loaded))
        << std::get<std::string>(loaded);
    auto& sim = startSimulator(std::get<modemsim::Scenario>(loaded));
    if (pace.setting) {
        ASSERT_EQ(sim.control(pace.setting), "OK\n");
    }
    ASSERT_EQ(sim.control("store from=+4930111 text=\"from the backlog\""), "OK\n");

    auto before = std::chrono::steady_clock::now();
    const auto& settings = std::get<modemsim::Scenario>(loaded).settings;
    const bool poweringUp = settings.powerUpSilence.count() > 0 || settings.laggingReplies > 0;
    int32_t started = lib.startCom1();
    if (started != 1 && poweringUp && pace.setting) {
        // A modem opened while it boots (A7670E) or lags (SARA-G450) cannot be set up in 5 s at
        // 400 ms a reply: the reason says why and to start again, and the next Start works.
        EXPECT_NE(lib.lastErrorText().find("tart again"), std::string::npos) << lib.lastErrorText();
        before = std::chrono::steady_clock::now();
        started = lib.startCom1();
    }
    ASSERT_EQ(started, 1) << lib.lastErrorText();
    EXPECT_LE(std::chrono::steady_clock::now() - before, 5s);

    const std::string longUcs2 = "长短信" + std::string(80, 'u'); // UCS2, 83 characters: 2 parts
    const int32_t shortIndex = lib.sendText("short", "+4915259911630");
    const int32_t longIndex = lib.sendText(longUcs2, "+4915259911630");
    std::map<int32_t, int32_t> reports;
    while (reports.size() < 2) {
        const auto report = lib.waitReport(30s);
        ASSERT_TRUE(report) << lib.lastErrorText();
        EXPECT_TRUE(reports.emplace(report->index, report->status).second);
    }
    EXPECT_EQ(reports, (std::map<int32_t, int32_t>{{shortIndex, 1}, {longIndex, 1}}))
        << lib.lastErrorText();
    EXPECT_EQ(sim.counters().sendAttempts, 3);

    ASSERT_EQ(sim.control("deliver from=+4930222 text=\"new one\""), "OK\n");
    // A personality may have messages of its own (the demo's welcome): those are let through.
    const std::string backlog = "+4930111:from the backlog";
    const std::string fresh = "+4930222:new one";
    std::multiset<std::string> texts;
    while (texts.count(backlog) == 0 || texts.count(fresh) == 0) {
        const auto message = lib.waitMessage(10s);
        ASSERT_TRUE(message) << lib.lastErrorText();
        texts.insert(fieldText(message->sender) + ":" + fieldText(message->text));
    }
    if (const auto extra = lib.waitMessage(300ms)) { // a second copy would come now
        texts.insert(fieldText(extra->sender) + ":" + fieldText(extra->text));
    }
    EXPECT_EQ(texts.count(backlog), 1u);
    EXPECT_EQ(texts.count(fresh), 1u);
    EXPECT_EQ(lib.query(shortIndex), 1);
    EXPECT_EQ(lib.query(longIndex), 1);
    EXPECT_EQ(lib.stop(), 1);
}

std::string testName(const ::testing::TestParamInfo<StandardRoad::ParamType>& info) {
    std::string name = std::get<0>(info.param);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(EveryPersonality, StandardRoad,
                         ::testing::Combine(::testing::ValuesIn(modemsim::builtinScenarioNames()),
                                            ::testing::ValuesIn(kPaces)),
                         testName);

} // namespace
} // namespace kelbrin::testing
