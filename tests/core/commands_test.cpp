#include "console_fixture.h"
#include "control_ids.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using Commands = ConsoleFixture;

TEST_F(Commands, OnlyStartAndStopMoveTheState) {
    const struct {
        const char* name;
        std::function<void(StandinState&)> script;
        std::vector<void (CSmsConsoleDlg::*)()> commands;
        const char* expected;
    } rows[] = {
        {"start opens", {}, {&CSmsConsoleDlg::OnStart}, "Running"},
        {"start refused",
         [](StandinState& s) { s.startResult = 0; },
         {&CSmsConsoleDlg::OnStart},
         "Idle"},
        {"any non-zero start result opens",
         [](StandinState& s) { s.startResult = -3; },
         {&CSmsConsoleDlg::OnStart},
         "Running"},
        {"start then stop", {}, {&CSmsConsoleDlg::OnStart, &CSmsConsoleDlg::OnStop}, "Idle"},
        {"stop refused keeps running",
         [](StandinState& s) { s.stopResult = 0; },
         {&CSmsConsoleDlg::OnStart, &CSmsConsoleDlg::OnStop},
         "Running"},
        {"send, clear and query keep running",
         {},
         {&CSmsConsoleDlg::OnStart, &CSmsConsoleDlg::OnSend, &CSmsConsoleDlg::OnClear,
          &CSmsConsoleDlg::OnQuery},
         "Running"},
        {"clear and query keep idle",
         {},
         {&CSmsConsoleDlg::OnClear, &CSmsConsoleDlg::OnQuery},
         "Idle"},
        {"restart after stop",
         {},
         {&CSmsConsoleDlg::OnStart, &CSmsConsoleDlg::OnStop, &CSmsConsoleDlg::OnStart},
         "Running"},
    };
    for (const auto& row : rows) {
        *m_standin = StandinState{};
        if (row.script) {
            row.script(*m_standin);
        }
        FakeConsoleWindow window;
        CSmsConsoleDlg console(window);
        console.OnInitDialog();
        for (const auto command : row.commands) {
            (console.*command)();
        }
        EXPECT_EQ(window.shownState(), row.expected) << row.name;
    }
}

TEST_F(Commands, StartOpensWithTheTimerAndTheOpenedLine) {
    const struct {
        std::uint16_t languageId;
        const char* line;
    } rows[] = {{kEnglishSystem, "Start Success\r\n"}, {kChineseSystem, "启动成功\r\n"}};
    for (const auto& row : rows) {
        m_console.OnClear();
        startUp(row.languageId);
        m_window.outputPane = "typed by the operator";
        m_console.OnStart();
        EXPECT_EQ(
            m_window.changes(),
            (std::vector<std::string>{"startTimer 1 1500", "refreshPanes", "enableControl 1002 off",
                                      "enableControl 1003 on", "enableControl 1010 on"}));
        EXPECT_EQ(m_console.outputLog().text(), row.line);
        EXPECT_EQ(m_window.outputPane, row.line) << "Start refreshes without reading back";
    }
}

TEST_F(Commands, StartPassesPortBaudAndRtsAsRead) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    const struct {
        const char* name;
        const char* port;
        const char* baud;
        bool rts;
        bool called;
        std::int32_t expectedPort;
        std::int32_t expectedBaud;
    } rows[] = {
        {"defaults", "COM1", "115200", false, true, 1, 115200},
        {"COM3", "COM3", "9600", false, true, 3, 9600},
        {"COM12 with RTS", "COM12", "115200", true, true, 12, 115200},
        {"XYZ7", "XYZ7", "115200", false, true, 7, 115200},
        {"COM-5 passed on", "COM-5", "115200", false, true, -5, 115200},
        {"port clamped", "COM99999999999", "115200", false, true, kMax, 115200},
        {"baud with trailing text", "COM2", " 57600 bps", false, true, 2, 57600},
        {"negative baud passed on", "COM2", "-300", false, true, 2, -300},
        {"COM", "COM", "115200", false, false, 0, 0},
        {"COM0", "COM0", "115200", false, false, 0, 0},
        {"COMX", "COMX", "115200", false, false, 0, 0},
        {"baud abc", "COM1", "abc", false, false, 0, 0},
        {"baud empty", "COM1", "", false, false, 0, 0},
    };
    for (const auto& row : rows) {
        startUp(kEnglishSystem);
        m_standin->calls.clear();
        m_window.texts[IDC_COMBO_PORT] = row.port;
        m_window.texts[IDC_COMBO_BAUD] = row.baud;
        m_window.rtsChecked = row.rts;
        m_console.OnStart();
        if (!row.called) {
            EXPECT_TRUE(m_standin->calls.empty()) << row.name;
            EXPECT_TRUE(m_window.changes().empty()) << row.name << ": nothing visible";
            continue;
        }
        const StandinCall& call = onlyCallOf("SMSStartService");
        EXPECT_EQ(call.numbers, (std::vector<std::int32_t>{row.expectedPort, row.expectedBaud, 2, 8,
                                                           0, row.rts ? 1 : 0}))
            << row.name;
        EXPECT_EQ(call.texts, std::vector<std::string>{"card"}) << row.name;
        m_console.OnStop();
    }
}

TEST_F(Commands, StartFailureReportsTheLibraryErrorInTheChineseUiOnly) {
    const std::string full(1024, 'E');
    const struct {
        const char* name;
        std::uint16_t languageId;
        std::int32_t errorResult;
        std::string errorBytes;
        std::string expectedLog;
    } rows[] = {
        {"Chinese shows the error", kChineseSystem, 1, "no modem on COM1",
         "启动失败\r\nno modem on COM1\r\n"},
        {"English hides it", kEnglishSystem, 1, "no modem on COM1", "Start Failed\r\n"},
        {"result 0: no error text", kChineseSystem, 0, "stale text", "启动失败\r\n"},
        {"negative result: no error text", kChineseSystem, -1, "stale text", "启动失败\r\n"},
        {"text ends at its first NUL", kChineseSystem, 7, std::string("abc\0def", 7),
         "启动失败\r\nabc\r\n"},
        {"1024 bytes without a NUL", kChineseSystem, 1, full, "启动失败\r\n" + full + "\r\n"},
        {"format characters are data", kChineseSystem, 1, "%s%n%%d", "启动失败\r\n%s%n%%d\r\n"},
    };
    for (const auto& row : rows) {
        m_console.OnClear();
        startUp(row.languageId);
        m_standin->startResult = 0;
        m_standin->lastErrorResult = row.errorResult;
        m_standin->lastErrorBytes = row.errorBytes;
        m_standin->calls.clear();
        m_window.outputPane = "typed by the operator";
        m_console.OnStart();

        EXPECT_EQ(m_console.outputLog().text(), row.expectedLog) << row.name;
        EXPECT_EQ(m_window.outputPane, row.expectedLog) << row.name;
        EXPECT_EQ(m_window.shownState(), "Idle") << row.name;
        EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"SMSStartService", "SMSGetLastError"}))
            << row.name;
        EXPECT_EQ(onlyCallOf("SMSGetLastError").texts.at(0), std::string(1024, '\0'))
            << row.name << ": the error buffer is zero-filled";
    }
}

TEST_F(Commands, StopClosesOnlyOnANonZeroResult) {
    const struct {
        const char* name;
        std::uint16_t languageId;
        std::int32_t result;
        std::string expectedLog;
        std::vector<std::string> expectedChanges;
    } rows[] = {
        {"English closes",
         kEnglishSystem,
         1,
         "Start Success\r\nStop Success\r\n",
         {"stopTimer 1", "refreshPanes", "enableControl 1002 on", "enableControl 1003 off",
          "enableControl 1010 off"}},
        {"Chinese closes",
         kChineseSystem,
         2,
         "启动成功\r\n停止成功\r\n",
         {"stopTimer 1", "refreshPanes", "enableControl 1002 on", "enableControl 1003 off",
          "enableControl 1010 off"}},
        {"zero: nothing", kEnglishSystem, 0, "Start Success\r\n", {}},
    };
    for (const auto& row : rows) {
        m_console.OnClear();
        startRunning(row.languageId);
        m_standin->stopResult = row.result;
        m_console.OnStop();
        EXPECT_EQ(m_window.changes(), row.expectedChanges) << row.name;
        EXPECT_EQ(m_console.outputLog().text(), row.expectedLog) << row.name;
        EXPECT_EQ(libraryCalls(), std::vector<std::string>{"SMSStopSerice"}) << row.name;
    }
}

TEST_F(Commands, SendPassesBothTextsUnchanged) {
    const struct {
        const char* name;
        std::string number;
        std::string text;
    } rows[] = {
        {"plain", "13800138000", "hello"},
        {"both empty", "", ""},
        {"Chinese", "+8613800138000", "你好，世界"},
        {"longer than 1024 bytes", "10086", std::string(3000, 'L')},
        {"number longer than 20", std::string(40, '9'), "x"},
        {"white space kept", " 123 ", "  two\r\nlines  "},
        {"format characters", "%s", "%s %n %% %d"},
    };
    for (const auto& row : rows) {
        startRunning(kEnglishSystem);
        m_window.texts[IDC_EDIT_PHONE] = row.number;
        m_window.texts[IDC_EDIT_CONTENT] = row.text;
        const std::string logBefore = m_console.outputLog().text();
        m_console.OnSend();
        EXPECT_EQ(onlyCallOf("SMSSendMessage").texts,
                  (std::vector<std::string>{row.text, row.number}))
            << row.name;
        EXPECT_TRUE(m_window.changes().empty()) << row.name << ": Send shows nothing";
        EXPECT_EQ(m_console.outputLog().text(), logBefore) << row.name;
    }
}

TEST_F(Commands, ClearEmptiesBothLogsAndNothingElse) {
    startRunning(kEnglishSystem);
    m_standin->messages.push_back({messageRecord("A", "B", "hello"), 1});
    m_console.OnTimer(POLL_TIMER_ID);
    m_window.calls.clear();
    m_standin->calls.clear();

    m_console.OnClear();

    EXPECT_EQ(m_window.changes(), std::vector<std::string>{"refreshPanes"});
    EXPECT_EQ(m_console.outputLog().text(), "");
    EXPECT_EQ(m_console.receiveLog().text(), "");
    EXPECT_TRUE(m_console.receiveLog().sameAs(LogText())) << "its hash starts again too";
    EXPECT_EQ(m_window.outputPane, "");
    EXPECT_EQ(m_window.receivePane, "");
    EXPECT_EQ(m_window.shownState(), "Running");
    EXPECT_TRUE(m_standin->calls.empty());
}

TEST_F(Commands, QueryAnswersInAMessageBox) {
    const struct {
        const char* name;
        const char* indexText;
        std::int32_t result;
        std::int32_t expectedIndex;
        const char* expectedBox;
    } rows[] = {
        {"sent", "5", 1, 5, "messageBox send sucessful"},
        {"failed", "7", 0, 7, "messageBox send failed"},
        {"other result", "3", 2, 3, "messageBox unknown"},
        {"negative result", "3", -1, 3, "messageBox unknown"},
        {"index 0 still asked", "0", 1, 0, "messageBox send sucessful"},
        {"empty field asks 0", "", 0, 0, "messageBox send failed"},
    };
    for (const auto& row : rows) {
        startUp(kChineseSystem);
        m_standin->calls.clear();
        m_standin->queryResult = row.result;
        m_window.texts[IDC_EDIT_INDEX] = row.indexText;
        m_console.OnQuery();
        EXPECT_EQ(onlyCallOf("SMSQuery").numbers, std::vector<std::int32_t>{row.expectedIndex})
            << row.name;
        EXPECT_EQ(m_window.changes(), std::vector<std::string>{row.expectedBox}) << row.name;
        EXPECT_EQ(m_console.outputLog().text(), "") << row.name;
    }
}

} // namespace
