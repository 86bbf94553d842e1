// Sending through the C interface against the simulator: indices, exactly one report per call,
// SMSQuery states, concatenation, and the operator texts of failed sends.
#include "simulated_modem_test.h"

#include <modemsim/scenario_file.h>

#include <algorithm>
#include <thread>
#include <variant>

namespace kelbrin::testing {
namespace {

constexpr const char* kNumber = "+4915259911630";

using SendTest = SimulatedModemTest;

TEST_F(SendTest, IndicesFollowCallOrderAndEachCallGetsOneReport) {
    startService();
    const int32_t first = lib.sendText("one", kNumber);
    const int32_t second = lib.sendText("two", kNumber);
    const int32_t third = lib.sendText("three", "");
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(third, first + 2);

    std::map<int32_t, SMSReportRecord> reports;
    while (auto report = lib.waitReport(2s)) {
        EXPECT_TRUE(reports.emplace(report->index, *report).second)
            << "second report for " << report->index;
        if (reports.size() == 3) {
            break;
        }
    }
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[first].status, 0);
    EXPECT_EQ(fieldText(reports[first].text), "one");
    EXPECT_EQ(fieldText(reports[first].number), kNumber);
    EXPECT_NE(reports[second].status, 0);
    EXPECT_EQ(reports[third].status, 0) << "empty number fails";
    EXPECT_FALSE(lib.waitReport(100ms)) << "no extra report";
    EXPECT_EQ(lib.query(third), 0);
}

TEST_F(SendTest, QueryFollowsTheMessageThroughItsStates) {
    using modemsim::ReportNumber;
    using modemsim::ReportOutcome;
    struct Row {
        const char* name;
        ReportOutcome outcome;
        int32_t finalQuery;
        const char* number = kNumber;
        ReportNumber reportNumber = ReportNumber::AsSent; // on a network with trunk prefix 8
    };
    const std::vector<Row> rows = {
        {"delivered", ReportOutcome::Delivered, 1},
        {"permanent failure 0x40", ReportOutcome::Failed, 0},
        {"validity expired 0x46", ReportOutcome::Expired, 0},
        {"still trying then delivered", ReportOutcome::TryingThenFinal, 1},
        {"no report at all", ReportOutcome::None, 1},
        {"failed, reported as 89161234567", ReportOutcome::Failed, 0, "+79161234567",
         ReportNumber::National},
        {"delivered, reported as 89161234567", ReportOutcome::Delivered, 1, "+79161234567",
         ReportNumber::National},
        {"failed, sent national, reported as +79161234567", ReportOutcome::Failed, 0, "89161234567",
         ReportNumber::International},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        modemsim::Scenario scenario;
        scenario.settings.sendDelay = 300ms; // long enough to ask while it runs
        scenario.settings.reportDelay = 20ms;
        scenario.settings.reportOutcome = row.outcome;
        scenario.settings.reportNumber = row.reportNumber;
        scenario.settings.countryCode = "7";
        scenario.settings.trunkPrefix = "8";
        startService(scenario);
        const int32_t index = lib.sendText("status", row.number);
        EXPECT_NE(lib.query(index), 0);
        EXPECT_NE(lib.query(index), 1) << "in progress is neither sent nor failed";
        const auto report = lib.waitReport(3s);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->index, index);
        EXPECT_NE(report->status, 0) << "the modem accepted it";
        EXPECT_TRUE(lib.waitQuery(index, row.finalQuery, 2s)) << lib.query(index);
        std::this_thread::sleep_for(100ms); // a late second report would change it again
        EXPECT_EQ(lib.query(index), row.finalQuery);
        EXPECT_FALSE(lib.waitReport(50ms)) << "a status report never makes a second report";
        lib.reset();
    }
    EXPECT_EQ(lib.query(-5), -1);
    EXPECT_EQ(lib.query(1'000'000), -1);
}

TEST_F(SendTest, LongTextGoesAsConcatenatedPartsUnderOneReport) {
    auto& sim = startService();
    const std::string text(400, 'x'); // 3 parts of 153 septets
    const int32_t index = lib.sendText(text, kNumber);
    const auto report = lib.waitReport(3s);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->index, index);
    EXPECT_NE(report->status, 0);
    EXPECT_EQ(fieldText(report->text), text.substr(0, 255)) << "cut to the field";
    EXPECT_EQ(sim.counters().sendAttempts, 3);
    EXPECT_TRUE(lib.waitQuery(index, 1, 2s));
}

TEST_F(SendTest, ModemErrorFailsTheSendOrIsRetriedWhenTheNetworkMayRecover) {
    struct Row {
        int code;
        int32_t status;
        int32_t query;
        int attempts;
        const char* expected;
        const char* afterFirst = nullptr; ///< a modemsim command once the first send is reported
    };
    const int32_t undetermined = KELBRIN_QUERY_UNDETERMINED;
    for (const Row& row : std::vector<Row>{
             {330, 0, 0, 2, "service centre address unknown"},
             {21, 0, 0, 2, "short message transfer rejected"},
             {331, 1, 1, 3, nullptr},
             {42, 1, 1, 3, nullptr},
             {332, 0, undetermined, 2, "(network timeout); the outcome is unknown"},
             {500, 0, undetermined, 2, "+CMS ERROR: 500 (unknown error); the outcome is unknown"},
             // Every attempt refused: tried 3 times, 1 s and 2 s apart, then failed.
             {331, 0, 0, 4, "no network service", "set registration 0"}}) {
        SCOPED_TRACE(std::to_string(row.code) + " " + (row.afterFirst ? row.afterFirst : ""));
        modemsim::Scenario scenario;
        scenario.faults.failSend = 2;
        scenario.faults.failSendCode = row.code;
        auto& sim = startService(scenario);
        const int32_t ok = lib.sendText("first", kNumber);
        const auto first = lib.waitReport(2s);
        if (row.afterFirst) {
            ASSERT_EQ(sim.control(row.afterFirst), "OK\n");
        }
        const int32_t second = lib.sendText("second", kNumber);
        const auto report = lib.waitReport(6s);
        ASSERT_TRUE(first && report);
        EXPECT_EQ(first->index, ok);
        EXPECT_NE(first->status, 0);
        EXPECT_EQ(report->index, second);
        EXPECT_EQ(report->status, row.status);
        EXPECT_EQ(lib.query(second), row.query);
        EXPECT_EQ(sim.counters().sendAttempts, row.attempts);
        if (row.expected) {
            EXPECT_NE(lib.lastErrorText().find(row.expected), std::string::npos)
                << lib.lastErrorText();
        }
        lib.reset();
    }
}

TEST_F(SendTest, PromptAfterARefusedSendIsCancelledAndTheNextSendGoesOnce) {
    // SIM800L: AT+CMGS answers +CMS ERROR, then prompts all the same; the ESC must come after
    // that prompt, or the next commands become text (jakhax/raspberry-pi-sim800l-gsm-module #4).
    auto loaded = modemsim::loadScenario("simcom-sim800l-pi");
    ASSERT_TRUE(std::holds_alternative<modemsim::Scenario>(loaded));
    auto scenario = std::get<modemsim::Scenario>(loaded);
    scenario.faults.failSend = 1;
    auto& sim = startService(scenario);
    const int32_t refused = lib.sendText("first", kNumber);
    const auto first = lib.waitReport(10s);
    ASSERT_TRUE(first) << lib.lastErrorText();
    EXPECT_EQ(first->status, 0);
    EXPECT_EQ(lib.query(refused), 0) << "no PDU went out: failed, not unknown";
    const int32_t next = lib.sendText("second", kNumber);
    const auto report = lib.waitReport(10s);
    ASSERT_TRUE(report) << lib.lastErrorText();
    EXPECT_EQ(report->index, next);
    EXPECT_EQ(report->status, 1) << lib.lastErrorText();
    EXPECT_EQ(sim.counters().sendAttempts, 2) << "the second message went once";
}

TEST_F(SendTest, UnconfirmedSendIsUndeterminedAndNeverSentAgain) {
    using modemsim::SendResult;
    struct Row {
        const char* name;
        SendResult result;
        const char* expected;
    };
    // The network takes every message: its status report comes, and matches nothing the library
    // knows (the modem gave no reference), so it changes no verdict.
    ::setenv("KELBRIN_RESULT_TIMEOUT_MS", "1000", 1);
    for (const Row& row :
         {Row{"+CMS ERROR: 500 after the PDU", SendResult::Error500, "+CMS ERROR: 500"},
          Row{"a bare ERROR after the PDU", SendResult::Error, "the modem answered ERROR"},
          Row{"no result at all", SendResult::None, "no result from the modem within 1 s"}}) {
        SCOPED_TRACE(row.name);
        modemsim::Scenario scenario;
        scenario.faults.sendResult = row.result;
        auto& sim = startService(scenario);
        const int32_t index = lib.sendText("taken", kNumber);
        const auto report = lib.waitReport(3s);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->index, index);
        EXPECT_EQ(report->status, 0);
        EXPECT_EQ(lib.query(index), KELBRIN_QUERY_UNDETERMINED);
        EXPECT_NE(lib.lastErrorText().find(row.expected), std::string::npos) << lib.lastErrorText();
        EXPECT_NE(lib.lastErrorText().find("the outcome is unknown: the message may have been "
                                           "sent, so it is not sent again"),
                  std::string::npos)
            << lib.lastErrorText();
        // The stored report is deleted once the library has dealt with it.
        ASSERT_TRUE(eventually([&] { return sim.counters().reportsShown == 1; }, 3s));
        ASSERT_TRUE(eventually([&] { return sim.storedMessages().empty(); }, 3s));
        EXPECT_EQ(lib.query(index), KELBRIN_QUERY_UNDETERMINED);
        EXPECT_EQ(sim.counters().sendAttempts, 1) << "never sent again";
        EXPECT_EQ(sim.counters().messagesAccepted, 1);
        lib.reset();
    }
}

TEST_F(SendTest, LateResultNeverMakesAnotherMessageSent) {
    ::setenv("KELBRIN_RESULT_TIMEOUT_MS", "1000", 1);
    modemsim::Scenario scenario;
    scenario.settings.sendDelay = 1500ms;
    auto& sim = startService(scenario);
    const int32_t late = lib.sendText("late", "+4915259911631");
    const int32_t next = lib.sendText("next", "+4915259911632");
    const auto first = lib.waitReport(3s);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->index, late);
    EXPECT_EQ(first->status, 0);
    EXPECT_NE(lib.lastErrorText().find("the outcome is unknown"), std::string::npos)
        << lib.lastErrorText();
    sim.control("set send_delay_ms 0"); // the next one is answered in time
    const auto second = lib.waitReport(5s);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->index, next);
    EXPECT_EQ(second->status, 1) << lib.lastErrorText();
    EXPECT_EQ(sim.counters().sendAttempts, 2) << "each message went out once";
    EXPECT_EQ(lib.query(late), KELBRIN_QUERY_UNDETERMINED)
        << "the late answer does not change the verdict";
    EXPECT_EQ(lib.query(next), 1);
}

TEST_F(SendTest, SendWithoutServiceReportsFailureAtOnce) {
    const int32_t index = lib.sendText("nobody listens", kNumber);
    const auto report = lib.waitReport(0ms);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->index, index);
    EXPECT_EQ(report->status, 0);
    EXPECT_EQ(lib.query(index), 0);
    EXPECT_NE(lib.lastErrorText().find("not running"), std::string::npos);
}

TEST_F(SendTest, NotAPhoneNumberFailsWithItsOwnText) {
    startService();
    const int32_t index = lib.sendText("hi", "call me");
    const auto report = lib.waitReport(2s);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->index, index);
    EXPECT_EQ(report->status, 0);
    EXPECT_NE(lib.lastErrorText().find("is not a phone number"), std::string::npos);
}

TEST_F(SendTest, ModemRestartDuringTheResultWaitEndsTheSendAtOnceAsUnknown) {
    modemsim::Scenario scenario;
    scenario.settings.sendDelay = 5s;
    auto& sim = startService(scenario);
    const int32_t index = lib.sendText("in flight", kNumber);
    std::this_thread::sleep_for(200ms); // the PDU is out
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(sim.control("reset 300"), "OK\n");
    const auto report = lib.waitReport(2s);
    ASSERT_TRUE(report) << "not held for the result timeout";
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_EQ(report->index, index);
    EXPECT_EQ(report->status, 0);
    EXPECT_EQ(lib.query(index), KELBRIN_QUERY_UNDETERMINED);
    EXPECT_NE(lib.lastErrorText().find("restarted before it gave a result; the outcome is unknown"),
              std::string::npos)
        << lib.lastErrorText();
}

TEST_F(SendTest, PortThatNeverComesBackFailsWaitingSendsAndStartWorksAgain) {
    ::setenv("KELBRIN_RECONNECT_MS", "1500", 1);
    modemsim::Scenario scenario;
    scenario.settings.sendDelay = 2s;
    auto& sim = startService(scenario);
    const int32_t inFlight = lib.sendText("in flight", kNumber);
    const int32_t queued = lib.sendText("queued", kNumber);
    std::this_thread::sleep_for(100ms);
    sim.hangUp();
    ASSERT_TRUE(eventually([&] { return lib.lastErrorText().find("modem lost on COM1") == 0; }))
        << lib.lastErrorText();
    std::map<int32_t, int32_t> status;
    while (auto report = lib.waitReport(3s)) {
        EXPECT_TRUE(status.emplace(report->index, report->status).second);
    }
    EXPECT_EQ(status, (std::map<int32_t, int32_t>{{inFlight, 0}, {queued, 0}}))
        << "the one in flight has an unknown outcome; the queued one waited 1.5 s";
    EXPECT_EQ(lib.query(inFlight), KELBRIN_QUERY_UNDETERMINED) << "it went out";
    EXPECT_EQ(lib.query(queued), KELBRIN_QUERY_FAILED) << "it never went out";
    EXPECT_NE(lib.lastErrorText().find("was away for more than 1 s"), std::string::npos)
        << lib.lastErrorText();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(lib.stop(), 1) << "ends the retrying";
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);

    startService(); // a new modem on COM1
    const int32_t after = lib.sendText("again", kNumber);
    const auto report = lib.waitReport(2s);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->index, after);
    EXPECT_NE(report->status, 0);
}

TEST_F(SendTest, ReplugWhileRunningIsRidThroughWithoutStopOrStart) {
    struct Row {
        const char* name;
        std::chrono::milliseconds sendDelay;
        std::chrono::milliseconds replyDelay; ///< of every command
        bool sendBeforeReplug; ///< its PDU out before the unplug; else sent while the modem is away
        const char* replug;
        std::vector<int32_t> expectedStatus; ///< of the first and the second send
        const char* errorWhileAway;
        /// Both sent before the replug, the first still waiting for its prompt: silent modem.
        bool promptWithheld = false;
    };
    const std::vector<Row> rows = {
        {"a send made while it is away goes when it is back",
         0ms,
         0ms,
         false,
         "replug 600",
         {1, 1},
         "modem lost on COM1"},
        {"a send cut after Ctrl-Z is unknown, the next one goes",
         1500ms,
         0ms,
         true,
         "replug 300",
         {0, 1},
         "modem lost on COM1"},
        {"another modem in the socket is not used",
         0ms,
         0ms,
         false,
         "replug 300 490154203237518",
         {0, 0},
         "another modem (IMEI 490154203237518)"},
        {"a slow modem is known again: its IMEI is read after the start, in full time",
         0ms,
         400ms,
         false,
         "replug 300 490154203237518",
         {0, 0},
         "another modem (IMEI 490154203237518)"},
        {"a send cut before its prompt goes first when it is back, then the one behind it",
         0ms,
         0ms,
         false,
         "replug 300",
         {1, 1},
         "modem lost on COM1",
         true},
    };
    ::setenv("KELBRIN_RECONNECT_MS", "2500", 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        modemsim::Scenario scenario;
        scenario.settings.sendDelay = row.sendDelay;
        scenario.faults.commandDelay = row.replyDelay;
        if (row.promptWithheld) {
            scenario.script.push_back(
                {modemsim::Trigger::Start, 0ms, "store from=+4930111 text=\"backlog\""});
        }
        auto& sim = startService(scenario);
        // A send answered: the service is past its set-up, and the modem's IMEI is known.
        lib.sendText("before the replug", kNumber);
        ASSERT_TRUE(lib.waitReport(5s + row.sendDelay + 10 * row.replyDelay));
        std::vector<int32_t> indices;
        if (row.promptWithheld) {
            // The stored message taken and deleted: the start's listing is over, nothing runs.
            ASSERT_TRUE(lib.waitMessage(3s));
            ASSERT_TRUE(eventually([&] { return sim.storedMessages().empty(); }));
            ASSERT_EQ(sim.control("set silent on"), "OK\n");
            const int before = sim.counters().commandLines;
            indices.push_back(lib.sendText("first", kNumber));
            ASSERT_TRUE(eventually([&] { return sim.counters().commandLines > before; }));
            indices.push_back(lib.sendText("second", kNumber));
        } else if (row.sendBeforeReplug) {
            const int attempts = sim.counters().sendAttempts;
            indices.push_back(lib.sendText("first", kNumber));
            ASSERT_TRUE(eventually([&] { return sim.counters().sendAttempts > attempts; }));
        }
        ASSERT_EQ(sim.control(row.replug), "OK\n");
        ASSERT_EQ(sim.control("set silent off"), "OK\n"); // it comes back answering
        EXPECT_TRUE(eventually(
            [&] { return lib.lastErrorText().find(row.errorWhileAway) != std::string::npos; },
            3s + 15 * row.replyDelay)) // the reopen, then the set-up at the modem's pace
            << lib.lastErrorText();
        while (indices.size() < 2) {
            indices.push_back(lib.sendText("while away", kNumber));
        }
        std::vector<int32_t> status(2, -1);
        std::vector<int32_t> reported;
        for (int taken = 0; taken < 2;) {
            const auto report = lib.waitReport(5s + 15 * row.replyDelay);
            ASSERT_TRUE(report);
            const auto at = std::find(indices.begin(), indices.end(), report->index);
            ASSERT_NE(at, indices.end());
            status[static_cast<std::size_t>(at - indices.begin())] = report->status != 0 ? 1 : 0;
            reported.push_back(report->index);
            ++taken;
        }
        EXPECT_EQ(status, row.expectedStatus);
        EXPECT_EQ(reported, indices) << "reports, and sends, in call order";
        if (row.expectedStatus.back() == 1) {
            EXPECT_EQ(lib.lastErrorText(), "") << "back and set up";
            ASSERT_EQ(sim.control("deliver from=+4912345678 text=\"after the replug\""), "OK\n");
            const auto message = lib.waitMessage(3s);
            ASSERT_TRUE(message) << "receiving resumes";
            EXPECT_EQ(fieldText(message->text), "after the replug");
        }
        lib.stop();
    }
}

TEST_F(SendTest, StopReturnsWithinOneSecondWhileTheModemHangsOnASend) {
    auto& sim = startService();
    auto faults = sim.faults();
    faults.silent = true;
    sim.setFaults(faults);
    const int32_t index = lib.sendText("into the void", kNumber);
    std::this_thread::sleep_for(50ms);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(lib.stop(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    const auto report = lib.waitReport(0ms);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->index, index);
    EXPECT_EQ(report->status, 0);
}

TEST_F(SendTest, StopOnAHungModemTakesNoMoreThanTheReadmesThreeHundredMilliseconds) {
    // The README's 300 ms count from the call, the finish phase (up to 150 ms on a hung modem)
    // included. The slack is for a loaded machine waking the worker and the caller late: 9 ms at
    // most in 40 stops at a load of 6 on two cores.
    constexpr auto kSlack = 100ms;
    struct Row {
        const char* name;
        bool takeStoredMessage; ///< the command that hangs is its delete, else a send
    };
    for (const Row& row : {Row{"hung on a send", false},
                           Row{"hung on the delete of a message the caller took", true}}) {
        SCOPED_TRACE(row.name);
        modemsim::Scenario scenario;
        if (row.takeStoredMessage) {
            scenario.script.push_back(
                {modemsim::Trigger::Start, 0ms, "store from=+4930 text=\"a\""});
        }
        auto& sim = startService(scenario);
        ASSERT_TRUE(eventually([&] {
            const auto stored = sim.storedMessages();
            return stored.empty() || stored[0].stat == modemsim::MessageStat::ReceivedRead;
        })) << "read by the start's listing";
        std::this_thread::sleep_for(300ms); // which is over
        auto faults = sim.faults();
        faults.silent = true;
        sim.setFaults(faults);
        const int heard = sim.counters().commandLines;
        if (row.takeStoredMessage) {
            ASSERT_TRUE(lib.waitMessage(1s));
        } else {
            lib.sendText("into the void", kNumber);
        }
        ASSERT_TRUE(eventually([&] { return sim.counters().commandLines > heard; }));
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(lib.stop(), 1);
        const auto took = std::chrono::steady_clock::now() - before;
        EXPECT_LT(took, 300ms + kSlack)
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
        lib.reset();
    }
}

TEST_F(SendTest, SilentModemFailsTheSendAfterThePromptTimeout) {
    ::setenv("KELBRIN_PROMPT_TIMEOUT_MS", "200", 1);
    modemsim::Scenario scenario;
    scenario.script.push_back(
        {modemsim::Trigger::Start, 0ms, "store from=+4930111 text=\"backlog\""});
    auto& sim = startService(scenario);
    // The stored message taken and deleted: the start's listing is over, nothing else runs that
    // the silence could hold up for a command's whole timeout.
    ASSERT_TRUE(lib.waitMessage(3s));
    ASSERT_TRUE(eventually([&] { return sim.storedMessages().empty(); }));
    auto faults = sim.faults();
    faults.silent = true;
    sim.setFaults(faults);
    const int32_t index = lib.sendText("unanswered", kNumber);
    const auto report = lib.waitReport(2s);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->index, index);
    EXPECT_EQ(report->status, 0);
    EXPECT_NE(lib.lastErrorText().find("did not ask for the message"), std::string::npos)
        << lib.lastErrorText();
}

TEST_F(SendTest, DeliveryFailureReachesQueryFromEveryRoute) {
    struct Row {
        const char* name;
        bool csmsStuck;
        bool indicationsElsewhere;
    };
    ::setenv("KELBRIN_POLL_MS", "300", 1);
    for (const Row& row :
         {Row{"stored reports", false, false}, Row{"+CSMS stuck at service 1", true, false},
          Row{"indications sent to another port", false, true}}) {
        SCOPED_TRACE(row.name);
        modemsim::Scenario scenario;
        scenario.faults.csmsStuck = row.csmsStuck;
        scenario.faults.indicationsElsewhere = row.indicationsElsewhere;
        auto& sim = startService(scenario);
        ASSERT_EQ(sim.control("set report failed"), "OK\n");
        const int32_t index = lib.sendText("never delivered", kNumber);
        const auto report = lib.waitReport(2s);
        ASSERT_TRUE(report);
        EXPECT_NE(report->status, 0);
        EXPECT_TRUE(lib.waitQuery(index, 0, 3s)) << "the stored report was read and applied";
        EXPECT_TRUE(eventually([&] { return sim.storedMessages().empty(); }, 3s)) << "and deleted";
        ASSERT_EQ(sim.control("deliver from=+4912345678 text=\"still arrives\""), "OK\n");
        const auto message = lib.waitMessage(3s);
        ASSERT_TRUE(message);
        EXPECT_EQ(fieldText(message->text), "still arrives");
        lib.stop();
    }
}

} // namespace
} // namespace kelbrin::testing
