#include "fake_console_window.h"

#include "control_ids.h"

#include <algorithm>

namespace {

bool isRead(const std::string& call) {
    for (const char* read : {"controlText ", "isChecked ", "systemDefaultLanguageId"}) {
        if (call.rfind(read, 0) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<std::string> FakeConsoleWindow::changes() const {
    std::vector<std::string> result;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(result),
                 [](const std::string& call) { return !isRead(call); });
    return result;
}

bool FakeConsoleWindow::isEnabled(int id) const {
    const auto it = enabled.find(id);
    return it == enabled.end() || it->second;
}

std::string FakeConsoleWindow::shownState() const {
    const bool start = isEnabled(IDC_BTN_START);
    const bool stop = isEnabled(IDC_BTN_STOP);
    const bool send = isEnabled(IDC_BTN_SEND);
    if (start && !stop && !send && !timerRunning) {
        return "Idle";
    }
    if (!start && stop && send && timerRunning) {
        return "Running";
    }
    return "mixed";
}

void FakeConsoleWindow::initialiseControls() {
    calls.push_back("initialiseControls");
}

void FakeConsoleWindow::installAboutCommandAndIcons() {
    calls.push_back("installAboutCommandAndIcons");
}

std::string FakeConsoleWindow::controlText(int id) const {
    calls.push_back("controlText " + std::to_string(id));
    const auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
}

void FakeConsoleWindow::setControlText(int id, const std::string& text) {
    calls.push_back("setControlText " + std::to_string(id) + " " + text);
    texts[id] = text;
}

void FakeConsoleWindow::enableControl(int id, bool enable) {
    calls.push_back("enableControl " + std::to_string(id) + (enable ? " on" : " off"));
    enabled[id] = enable;
}

bool FakeConsoleWindow::isChecked(int id) const {
    calls.push_back("isChecked " + std::to_string(id));
    return id == IDC_CHECK_RTS && rtsChecked;
}

void FakeConsoleWindow::refreshPanes(const LogText& outputLog, const LogText& receiveLog) {
    calls.push_back("refreshPanes");
    outputPane = outputLog.text();
    receivePane = receiveLog.text();
}

void FakeConsoleWindow::readBackPanes(LogText& outputLog, LogText& receiveLog) {
    calls.push_back("readBackPanes");
    outputLog = LogText(outputPane);
    receiveLog = LogText(receivePane);
}

void FakeConsoleWindow::showMessageBox(const std::string& text) {
    calls.push_back("messageBox " + text);
}

void FakeConsoleWindow::startTimer(int timerId, int periodMs) {
    calls.push_back("startTimer " + std::to_string(timerId) + " " + std::to_string(periodMs));
    timerRunning = true;
}

void FakeConsoleWindow::stopTimer(int timerId) {
    calls.push_back("stopTimer " + std::to_string(timerId));
    timerRunning = false;
}

std::uint16_t FakeConsoleWindow::systemDefaultLanguageId() const {
    calls.push_back("systemDefaultLanguageId");
    return languageId;
}
