// The console core with the real libkelbrin.so beside it and the simulator on COM1: what an
// operator does on a clean clone (start, send, watch the report and an incoming message arrive,
// query, stop), driven through a window without a screen.
#include "console_window.h"
#include "control_ids.h"
#include "sms_console_dlg.h"

#include <modemsim/simulator.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class ScreenlessWindow : public ConsoleWindow {
public:
    std::map<int, std::string> texts;
    std::string outputPane;
    std::string receivePane;
    std::vector<std::string> messageBoxes;

    void initialiseControls() override {}
    void installAboutCommandAndIcons() override {}
    std::string controlText(int id) const override {
        const auto found = texts.find(id);
        return found == texts.end() ? std::string() : found->second;
    }
    void setControlText(int id, const std::string& text) override { texts[id] = text; }
    void enableControl(int, bool) override {}
    bool isChecked(int) const override { return false; }
    void refreshPanes(const LogText& outputLog, const LogText& receiveLog) override {
        outputPane = outputLog.text();
        receivePane = receiveLog.text();
    }
    void readBackPanes(LogText& outputLog, LogText& receiveLog) override {
        outputLog = LogText(outputPane);
        receiveLog = LogText(receivePane);
    }
    void showMessageBox(const std::string& text) override { messageBoxes.push_back(text); }
    void startTimer(int, int) override {}
    void stopTimer(int) override {}
    std::uint16_t systemDefaultLanguageId() const override { return 0x0409; }
};

// Ticks the poll (faster than the window's 1500 ms) until @p pane holds @p text.
bool tickUntil(CSmsConsoleDlg& console, const std::string& pane, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (pane.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        console.OnTimer(POLL_TIMER_ID);
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(ConsoleWithLibrary, StartSendReceiveQueryStop) {
    modemsim::Scenario scenario;
    scenario.settings.reportDelay = 10ms;
    modemsim::Simulator sim(scenario);
    ::setenv("KELBRIN_COM1", sim.terminalPath().c_str(), 1);
    ::setenv("LC_ALL", "C", 1);

    ScreenlessWindow window;
    CSmsConsoleDlg console(window);
    console.OnInitDialog();
    ASSERT_TRUE(console.isLibraryLoaded()) << "libkelbrin.so on the library path";
    EXPECT_EQ(window.controlText(IDC_COMBO_PORT), "COM1");

    console.OnStart();
    ASSERT_NE(window.outputPane.find("Start Success\r\n"), std::string::npos) << window.outputPane;

    window.texts[IDC_EDIT_PHONE] = "+4915259911630";
    window.texts[IDC_EDIT_CONTENT] = "你好 from the console";
    console.OnSend();
    EXPECT_TRUE(tickUntil(console, window.outputPane,
                          "Send +4915259911630 SMS Success,Content:你好 from the console\r\n"))
        << window.outputPane;

    ASSERT_EQ(sim.control("deliver from=+8613800000000 text=\"回复 reply\""), "OK\n");
    EXPECT_TRUE(tickUntil(console, window.receivePane, "Receive SMS:<+8613800000000> <"))
        << window.receivePane;
    EXPECT_NE(window.receivePane.find(">:\r\n    回复 reply\r\n"), std::string::npos)
        << window.receivePane;

    // The index of the first send of this process is 1.
    window.texts[IDC_EDIT_INDEX] = "1";
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    do {
        window.messageBoxes.clear();
        console.OnQuery();
    } while (window.messageBoxes != std::vector<std::string>{"send sucessful"} &&
             std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(window.messageBoxes, std::vector<std::string>{"send sucessful"});

    console.OnStop();
}

} // namespace
