#pragma once

#include "log_text.h"

#include <cstdint>
#include <string>

// What the console logic needs from its window. The Qt dialog implements it; tests implement it
// with a fake that records every call. Texts are 8-bit (UTF-8) bytes; the window converts at its
// own boundary. Log texts use CR LF line ends in both directions.
class ConsoleWindow {
public:
    virtual ~ConsoleWindow() = default;

    // Start-up step 1: combo boxes receive their initial lists, then the controls are bound and
    // both panes are set from the (empty) log texts.
    virtual void initialiseControls() = 0;
    // Start-up step 2: the About command and the window icons.
    virtual void installAboutCommandAndIcons() = 0;

    // The text of a control; for a combo box, the text of its edit field.
    virtual std::string controlText(int id) const = 0;
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual void enableControl(int id, bool enabled) = 0;
    // True when the check box answers any non-zero check state.
    virtual bool isChecked(int id) const = 0;

    // Writes both log texts into their panes at once.
    virtual void refreshPanes(const LogText& outputLog, const LogText& receiveLog) = 0;
    // Copies the current text of both panes into the log texts at once.
    virtual void readBackPanes(LogText& outputLog, LogText& receiveLog) = 0;

    // Shows a modal box with an OK button and the exclamation icon; returns when it is closed.
    // The window keeps dispatching events (timer ticks included) while it is open.
    virtual void showMessageBox(const std::string& text) = 0;

    virtual void startTimer(int timerId, int periodMs) = 0;
    virtual void stopTimer(int timerId) = 0;

    // The system's default language as a Windows language id (0x0804, 0x0409, ...).
    virtual std::uint16_t systemDefaultLanguageId() const = 0;
};
