// Runs in a process where no libkelbrin.so can be found (CTest test core.library_missing).

#include "console_fixture.h"
#include "control_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string> kStartUpWithoutLibrary = {
    "initialiseControls",       "installAboutCommandAndIcons", "systemDefaultLanguageId",
    "setControlText 1000 COM1", "setControlText 1001 115200",  "enableControl 1003 off",
    "enableControl 1010 off",
};

TEST(LibraryMissing, StartUpEndsSilentlyKeepingTheWindowsLabels) {
    for (const std::uint16_t languageId : {kEnglishSystem, kChineseSystem}) {
        FakeConsoleWindow window;
        window.languageId = languageId;
        CSmsConsoleDlg console(window);
        console.OnInitDialog();
        EXPECT_FALSE(console.isLibraryLoaded());
        EXPECT_EQ(window.calls, kStartUpWithoutLibrary) << "language " << languageId;
        EXPECT_EQ(window.texts.count(IDC_EDIT_CONTENT), 0U) << "message text stays empty";
    }
}

TEST(LibraryMissing, StartSaysSoAndEveryOtherCommandIsQuiet) {
    const struct {
        const char* name;
        void (CSmsConsoleDlg::*command)();
        std::vector<std::string> changes;
    } rows[] = {
        {"Start", &CSmsConsoleDlg::OnStart, {"messageBox 动态库未加载"}},
        {"Stop", &CSmsConsoleDlg::OnStop, {}},
        {"Send", &CSmsConsoleDlg::OnSend, {}},
        {"Query", &CSmsConsoleDlg::OnQuery, {}},
        {"Clear works as usual", &CSmsConsoleDlg::OnClear, {"refreshPanes"}},
    };
    for (const auto& row : rows) {
        FakeConsoleWindow window;
        CSmsConsoleDlg console(window);
        console.OnInitDialog();
        window.calls.clear();
        window.texts[IDC_EDIT_INDEX] = "1";
        (console.*row.command)();
        EXPECT_EQ(window.changes(), row.changes) << row.name;
        EXPECT_EQ(window.shownState(), "Idle") << row.name;
    }
}

TEST(LibraryMissing, APollIsQuiet) {
    FakeConsoleWindow window;
    CSmsConsoleDlg console(window);
    console.OnInitDialog();
    window.calls.clear();
    console.OnTimer(POLL_TIMER_ID);
    EXPECT_TRUE(window.calls.empty());
}

} // namespace
