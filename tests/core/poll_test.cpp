#include "console_fixture.h"
#include "control_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Poll = ConsoleFixture;

TEST_F(Poll, FormatsMessagesAndReportsFromTheRecordFields) {
    const std::string sender(32, 'S');
    const std::string stamp(32, 'T');
    const std::string longText(256, 'X');
    const std::string number(32, '9');
    const struct {
        const char* name;
        std::uint16_t languageId;
        std::vector<StandinMessage> messages;
        std::vector<StandinReport> reports;
        std::string receiveLog;
        std::string outputLog;
    } rows[] = {
        {"English message",
         kEnglishSystem,
         {{messageRecord("A", "B", "hello"), 1}},
         {},
         "Receive SMS:<A> <B>:\r\n    hello\r\n",
         ""},
        {"Chinese message",
         kChineseSystem,
         {{messageRecord("A", "B", "你好"), 1}},
         {},
         "收到短信:<A> <B>:\r\n    你好\r\n",
         ""},
        {"English report sent",
         kEnglishSystem,
         {},
         {{reportRecord(1, "123", "hi"), 1}},
         "",
         "Send 123 SMS Success,Content:hi\r\n"},
        {"English report failed",
         kEnglishSystem,
         {},
         {{reportRecord(0, "123", "hi"), 1}},
         "",
         "Send 123 SMS Fail,Content:hi\r\n"},
        {"status -1 counts as sent",
         kEnglishSystem,
         {},
         {{reportRecord(-1, "123", "hi"), 1}},
         "",
         "Send 123 SMS Success,Content:hi\r\n"},
        {"Chinese report sent",
         kChineseSystem,
         {},
         {{reportRecord(1, "123", "hi"), 1}},
         "",
         "发往123的短信发送成功,内容:hi\r\n"},
        {"Chinese report failed",
         kChineseSystem,
         {},
         {{reportRecord(0, "123", "hi"), 1}},
         "",
         "发往123的短信发送失败,内容:hi\r\n"},
        {"format characters are data",
         kEnglishSystem,
         {{messageRecord("%s", "%n", "100%% %s"), 1}},
         {{reportRecord(1, "%d", "%n%s"), 1}},
         "Receive SMS:<%s> <%n>:\r\n    100%% %s\r\n",
         "Send %d SMS Success,Content:%n%s\r\n"},
        {"message fields at full width without NUL",
         kEnglishSystem,
         {{messageRecord(sender, stamp, longText), 1}},
         {},
         "Receive SMS:<" + sender + "> <" + stamp + ">:\r\n    " + longText + "\r\n",
         ""},
        {"report fields at full width without NUL",
         kEnglishSystem,
         {},
         {{reportRecord(1, number, longText), 1}},
         "",
         "Send " + number + " SMS Success,Content:" + longText + "\r\n"},
        {"message result 0", kEnglishSystem, {{messageRecord("A", "B", "hello"), 0}}, {}, "", ""},
        {"message result 2", kEnglishSystem, {{messageRecord("A", "B", "hello"), 2}}, {}, "", ""},
        {"message result -1", kEnglishSystem, {{messageRecord("A", "B", "hello"), -1}}, {}, "", ""},
        {"report result 2", kEnglishSystem, {}, {{reportRecord(1, "123", "hi"), 2}}, "", ""},
        {"report result -1", kEnglishSystem, {}, {{reportRecord(1, "123", "hi"), -1}}, "", ""},
    };
    for (const auto& row : rows) {
        startRunning(row.languageId);
        m_console.OnClear();
        m_standin->messages.assign(row.messages.begin(), row.messages.end());
        m_standin->reports.assign(row.reports.begin(), row.reports.end());
        m_console.OnTimer(POLL_TIMER_ID);
        EXPECT_EQ(m_window.receivePane, row.receiveLog) << row.name;
        EXPECT_EQ(m_console.receiveLog().text(), row.receiveLog) << row.name;
        EXPECT_EQ(m_console.outputLog().text(), row.outputLog) << row.name;
        EXPECT_EQ(m_window.outputPane, row.outputLog) << row.name;
        EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"SMSGetNextMessage", "SMSReport"}))
            << row.name;
    }
}

TEST_F(Poll, TakesTheMessageBeforeTheReportAndReadsBackBeforeEachAppend) {
    startRunning(kEnglishSystem);
    m_console.OnClear();
    m_window.calls.clear();
    m_standin->messages.push_back({messageRecord("A", "B", "hello"), 1});
    m_standin->reports.push_back({reportRecord(1, "123", "hi"), 1});

    m_console.OnTimer(POLL_TIMER_ID);

    EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"SMSGetNextMessage", "SMSReport"}));
    EXPECT_EQ(m_window.changes(), (std::vector<std::string>{"readBackPanes", "refreshPanes",
                                                            "readBackPanes", "refreshPanes"}));
}

TEST_F(Poll, OperatorTextInAPaneSurvivesAnAppend) {
    startRunning(kEnglishSystem);
    m_console.OnClear();
    m_window.outputPane = "note in the log\r\n";
    m_window.receivePane = "note in the receive pane\r\n";
    m_standin->messages.push_back({messageRecord("A", "B", "hello"), 1});
    m_standin->reports.push_back({reportRecord(1, "123", "hi"), 1});

    m_console.OnTimer(POLL_TIMER_ID);

    EXPECT_EQ(m_window.receivePane,
              "note in the receive pane\r\nReceive SMS:<A> <B>:\r\n    hello\r\n");
    EXPECT_EQ(m_window.outputPane, "note in the log\r\nSend 123 SMS Success,Content:hi\r\n");
}

TEST_F(Poll, TakesAtMostOneOfEachPerTick) {
    startRunning(kEnglishSystem);
    m_console.OnClear();
    for (const char* text : {"one", "two", "three"}) {
        m_standin->messages.push_back({messageRecord("A", "B", text), 1});
    }
    m_standin->reports.push_back({reportRecord(1, "1", "r1"), 1});
    m_standin->reports.push_back({reportRecord(0, "2", "r2"), 1});

    const std::string one = "Receive SMS:<A> <B>:\r\n    one\r\n";
    const std::string two = one + "Receive SMS:<A> <B>:\r\n    two\r\n";
    const std::string three = two + "Receive SMS:<A> <B>:\r\n    three\r\n";
    const std::string r1 = "Send 1 SMS Success,Content:r1\r\n";
    const std::string r2 = r1 + "Send 2 SMS Fail,Content:r2\r\n";
    const struct {
        std::string receive;
        std::string output;
    } afterTick[] = {{one, r1}, {two, r2}, {three, r2}, {three, r2}};
    for (std::size_t tick = 0; tick < std::size(afterTick); ++tick) {
        m_console.OnTimer(POLL_TIMER_ID);
        EXPECT_EQ(m_console.receiveLog().text(), afterTick[tick].receive)
            << "after tick " << tick + 1;
        EXPECT_EQ(m_console.outputLog().text(), afterTick[tick].output)
            << "after tick " << tick + 1;
    }
}

TEST_F(Poll, ATickThatFindsNothingLeavesTheWindowAlone) {
    startRunning(kEnglishSystem);
    m_console.OnTimer(POLL_TIMER_ID);
    EXPECT_TRUE(m_window.calls.empty());
    EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"SMSGetNextMessage", "SMSReport"}));
}

// Regression: the records live on the stack; a library that answers 1 without filling them must
// not bring back the previous tick's text.
TEST_F(Poll, AFieldTheLibraryLeavesUnwrittenShowsEmpty) {
    startRunning(kEnglishSystem);
    m_console.OnClear();
    m_standin->messages.push_back({messageRecord("A", "B", "first"), 1});
    m_standin->messages.push_back({std::nullopt, 1});
    m_standin->reports.push_back({reportRecord(1, "123", "first"), 1});
    m_standin->reports.push_back({std::nullopt, 1});

    m_console.OnTimer(POLL_TIMER_ID);
    m_console.OnClear();
    m_console.OnTimer(POLL_TIMER_ID);

    EXPECT_EQ(m_console.receiveLog().text(), "Receive SMS:<> <>:\r\n    \r\n");
    EXPECT_EQ(m_console.outputLog().text(), "Send  SMS Fail,Content:\r\n");
}

} // namespace
