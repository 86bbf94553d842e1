#pragma once

#include "console_window.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A window without a screen: it keeps control texts, enablement, the two panes and the timer, and
// writes every call it receives, reads included, into `calls` as one line, e.g.
// "setControlText 1000 COM1", "enableControl 1003 off", "startTimer 1 1500".
class FakeConsoleWindow : public ConsoleWindow {
public:
    mutable std::vector<std::string> calls;
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    bool rtsChecked = false;
    // What the panes show; a test writes here to play an operator typing into a pane.
    std::string outputPane;
    std::string receivePane;
    bool timerRunning = false;
    std::uint16_t languageId = 0x0409;

    // The calls that change the window, in order; reads left out.
    std::vector<std::string> changes() const;
    bool isEnabled(int id) const;
    // "Idle" or "Running" as Start, Stop, Send and the timer show it; "mixed" for anything else.
    std::string shownState() const;

    void initialiseControls() override;
    void installAboutCommandAndIcons() override;
    std::string controlText(int id) const override;
    void setControlText(int id, const std::string& text) override;
    void enableControl(int id, bool enable) override;
    bool isChecked(int id) const override;
    void refreshPanes(const LogText& outputLog, const LogText& receiveLog) override;
    void readBackPanes(LogText& outputLog, LogText& receiveLog) override;
    void showMessageBox(const std::string& text) override;
    void startTimer(int timerId, int periodMs) override;
    void stopTimer(int timerId) override;
    std::uint16_t systemDefaultLanguageId() const override;
};
