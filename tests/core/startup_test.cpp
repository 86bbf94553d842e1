#include "console_fixture.h"
#include "control_ids.h"
#include "ui_language.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using StartUp = ConsoleFixture;

const std::vector<std::string> kCommonSteps = {
    "initialiseControls",       "installAboutCommandAndIcons", "systemDefaultLanguageId",
    "setControlText 1000 COM1", "setControlText 1001 115200",  "enableControl 1003 off",
    "enableControl 1010 off",
};

const std::vector<std::string> kEnglishRelabelling = {
    "setControlText 1014 Serial Parameters",
    "setControlText 1015 COM:",
    "setControlText 1016 Baudrate:",
    "setControlText 1017 Receive",
    "setControlText 1018 Send",
    "setControlText 1019 Log",
    "setControlText 1020 Phone To Receive SMS\xEF\xBC\x9A",
    "setControlText 1002 Start",
    "setControlText 1003 Stop",
    "setControlText 1004 Clear",
    "setControlText 1010 Send",
    "setControlText 1022 Index",
    "setControlText 1005 Query",
};

std::vector<std::string> concat(std::vector<std::string> head,
                                const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(StartUp, RunsItsStepsInOrderForEachLanguage) {
    const auto chineseSteps =
        concat(kCommonSteps, {"setControlText 1007 This is 短信测试内容 12345"});
    const auto englishSteps =
        concat(concat(kCommonSteps, {"setControlText 1007 This is Talvoren SMS Test Text"}),
               kEnglishRelabelling);
    const struct {
        const char* name;
        std::uint16_t languageId;
        bool chinese;
        const std::vector<std::string>& steps;
    } rows[] = {
        {"Chinese (PRC)", 0x0804, true, chineseSteps},
        {"Chinese (Taiwan)", 0x0404, true, chineseSteps},
        {"Chinese (Hong Kong)", 0x0C04, true, chineseSteps},
        {"Chinese (Singapore) is English", 0x1004, false, englishSteps},
        {"Chinese (Macau) is English", 0x1404, false, englishSteps},
        {"English (US)", 0x0409, false, englishSteps},
    };
    for (const auto& row : rows) {
        FakeConsoleWindow window;
        window.languageId = row.languageId;
        g_bChineseUi = !row.chinese;
        CSmsConsoleDlg console(window);
        console.OnInitDialog();
        EXPECT_EQ(window.calls, row.steps) << row.name;
        EXPECT_EQ(g_bChineseUi, row.chinese) << row.name;
    }
}

TEST_F(StartUp, LeavesTheConsoleIdleWithEmptyLogs) {
    startUp(kEnglishSystem);

    EXPECT_TRUE(m_console.isLibraryLoaded());
    EXPECT_EQ(m_window.shownState(), "Idle");
    EXPECT_EQ(m_window.texts[IDC_COMBO_PORT], "COM1");
    EXPECT_EQ(m_window.texts[IDC_COMBO_BAUD], "115200");
    EXPECT_EQ(m_console.outputLog().text(), "");
    EXPECT_EQ(m_console.receiveLog().text(), "");
    EXPECT_TRUE(m_standin->calls.empty()) << "start-up calls no entry point";
}

TEST_F(StartUp, TextsFollowTheLanguageAtTheirMomentOfUse) {
    startUp(kChineseSystem);
    m_console.OnStart();
    startUp(kEnglishSystem);
    m_console.OnStop();
    EXPECT_EQ(m_console.outputLog().text(), "启动成功\r\nStop Success\r\n");
}

} // namespace
