// A session the library traced (KELBRIN_TRACE) replayed by `modemsim --replay`: the library
// gets the same messages and the same send outcomes from the replay as from the modem.

#include "simulated_modem_test.h"

#include <modemsim/scenario_file.h>

#include <cstdlib>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace kelbrin::testing {
namespace {

using Received = std::tuple<std::string, std::string, std::string>; // sender, time, text

// What the caller saw of one session.
struct Session {
    int32_t query = -1;
    int reports = 0;
    std::vector<Received> received;
};

class TraceReplayTest : public SimulatedModemTest {
protected:
    // A message too long for one part (GSM 7-bit, 200 characters: two parts, each time with a new
    // concatenation reference), then a message from the network (`deliver`).
    Session runSession(const std::function<void()>& deliver) {
        Session session;
        EXPECT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
        const int32_t index = lib.sendText(std::string(200, 'x'), "+4915112345678");
        EXPECT_TRUE(lib.waitQuery(index, KELBRIN_QUERY_SENT, 10s)) << lib.lastErrorText();
        // The parts' status reports are all taken before the message comes, a second apart:
        // the order of the modem's lines then does not hang on how fast this machine is, and the
        // replay, which keeps the traced order and delays, sees the library ask the same things.
        while (lib.waitReport(1000ms)) {
            ++session.reports;
        }
        deliver();
        while (const auto record = lib.waitMessage(1500ms)) {
            session.received.emplace_back(fieldText(record->sender), fieldText(record->timestamp),
                                          fieldText(record->text));
        }
        session.query = lib.query(index);
        lib.stop();
        return session;
    }
};

TEST_F(TraceReplayTest, ReplayedSessionGivesTheLibraryWhatTheModemDid) {
    char path[] = "/tmp/kelbrin-replay-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    auto scenario = modemsim::loadScenario("huawei-e173");
    ASSERT_TRUE(std::holds_alternative<modemsim::Scenario>(scenario));
    auto& huawei = std::get<modemsim::Scenario>(scenario);
    huawei.settings.sendDelay = 300ms;
    huawei.settings.reportDelay = 300ms;

    ::setenv("KELBRIN_TRACE", path, 1);
    auto& sim = startSimulator(huawei);
    const Session recorded = runSession([&sim] {
        EXPECT_EQ(sim.control("deliver from=+4912345 text=\"replayed word for word\""), "OK\n");
    });
    ::unsetenv("KELBRIN_TRACE");
    ASSERT_EQ(recorded.received.size(), 1u);
    EXPECT_EQ(recorded.query, KELBRIN_QUERY_SENT);

    modemsim::SimulatorOptions replay;
    replay.replayPath = path;
    startSimulator(replay);
    const Session replayed = runSession([] {});
    EXPECT_EQ(replayed.received, recorded.received);
    EXPECT_EQ(replayed.query, recorded.query);
    EXPECT_EQ(replayed.reports, recorded.reports);
    EXPECT_GE(recorded.reports, 1);
    ::unlink(path);
}

} // namespace
} // namespace kelbrin::testing
