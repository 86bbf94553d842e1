#include "sms_console_dlg.h"

#include "bounded_text.h"
#include "console_texts.h"
#include "control_ids.h"
#include "number_reading.h"
#include "ui_language.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The fixed arguments SMSStartService expects after port and baud.
constexpr std::int32_t kStartMode = 2;
constexpr std::int32_t kStartDataBits = 8;
constexpr std::int32_t kStartParity = 0;
constexpr const char* kStartStorage = "card";

// A NUL-terminated, writable copy of @p text with room for at least @p room characters; a longer
// text is copied whole.
std::vector<char> writableCopy(const std::string& text, std::size_t room) {
    std::vector<char> buffer(std::max(room, text.size()) + 1, '\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    return buffer;
}

} // namespace

CSmsConsoleDlg::CSmsConsoleDlg(ConsoleWindow& window) : m_window(window) {}

void CSmsConsoleDlg::OnInitDialog() {
    m_window.initialiseControls();
    m_window.installAboutCommandAndIcons();

    g_bChineseUi = isChineseUiLanguage(m_window.systemDefaultLanguageId());

    m_window.setControlText(IDC_COMBO_PORT, "COM1");
    m_window.setControlText(IDC_COMBO_BAUD, "115200");

    m_window.enableControl(IDC_BTN_STOP, false);
    m_window.enableControl(IDC_BTN_SEND, false);

    m_hServiceLib = loadServiceLibrary();
    if (m_hServiceLib == nullptr) {
        // Silent: the window keeps its own (Chinese) labels and Start says what is wrong.
        return;
    }

    m_window.setControlText(IDC_EDIT_CONTENT, defaultMessageText());

    if (g_bChineseUi) {
        return;
    }
    for (const ControlLabel& relabel : kEnglishLabels) {
        m_window.setControlText(relabel.controlId, relabel.label);
    }
}

void CSmsConsoleDlg::OnStart() {
    if (m_hServiceLib == nullptr) {
        m_window.showMessageBox(kLibraryNotLoaded);
        return;
    }
    const auto startService = findEntryPoint<SMSStartServiceFn>(m_hServiceLib);
    if (startService == nullptr) {
        return;
    }
    const std::int32_t port = readPortNumber(m_window.controlText(IDC_COMBO_PORT));
    if (port == 0) {
        return;
    }
    const std::int32_t baud = readNumber(m_window.controlText(IDC_COMBO_BAUD));
    if (baud == 0) {
        return;
    }
    const std::int32_t rtsFlag = m_window.isChecked(IDC_CHECK_RTS) ? 1 : 0;

    if (startService(port, baud, kStartMode, kStartDataBits, kStartParity, rtsFlag,
                     kStartStorage) != 0) {
        m_strOutputLog += openedLine();
        m_window.startTimer(POLL_TIMER_ID, kPollIntervalMs);
        refreshPanes();
        showState(ServiceState::Running);
        return;
    }
    appendOutputLine(openFailedLine());
    reportLastError();
}

void CSmsConsoleDlg::reportLastError() {
    const auto getLastError = findEntryPoint<SMSGetLastErrorFn>(m_hServiceLib);
    if (getLastError == nullptr) {
        return;
    }
    std::array<char, KELBRIN_ERROR_TEXT_SIZE> buffer{};
    if (getLastError(buffer.data()) <= 0) {
        return;
    }
    if (!g_bChineseUi) {
        return;
    }
    appendOutputLine(boundedText(buffer) + "\r\n");
}

void CSmsConsoleDlg::OnStop() {
    const auto stopService = findEntryPoint<SMSStopSericeFn>(m_hServiceLib);
    if (stopService == nullptr || stopService() == 0) {
        return;
    }
    m_strOutputLog += closedLine();
    m_window.stopTimer(POLL_TIMER_ID);
    refreshPanes();
    showState(ServiceState::Idle);
}

void CSmsConsoleDlg::OnSend() {
    const auto sendMessage = findEntryPoint<SMSSendMessageFn>(m_hServiceLib);
    if (sendMessage == nullptr) {
        return;
    }
    std::vector<char> number =
        writableCopy(m_window.controlText(IDC_EDIT_PHONE), KELBRIN_SEND_NUMBER_ROOM);
    std::vector<char> text =
        writableCopy(m_window.controlText(IDC_EDIT_CONTENT), KELBRIN_SEND_TEXT_ROOM);
    // The outcome arrives later as a send report; the index returned here is not needed.
    sendMessage(text.data(), number.data());
}

void CSmsConsoleDlg::OnClear() {
    m_strOutputLog.clear();
    m_strReceiveLog.clear();
    refreshPanes();
}

void CSmsConsoleDlg::OnQuery() {
    const std::int32_t index = readNumber(m_window.controlText(IDC_EDIT_INDEX));
    const auto query = findEntryPoint<SMSQueryFn>(m_hServiceLib);
    if (query == nullptr) {
        return;
    }
    switch (query(index)) {
    case 1:
        m_window.showMessageBox(kQueryAnswerSent);
        break;
    case 0:
        m_window.showMessageBox(kQueryAnswerFailed);
        break;
    default:
        m_window.showMessageBox(kQueryAnswerUnknown);
        break;
    }
}

void CSmsConsoleDlg::OnTimer(int /*timerId*/) {
    const auto report = findEntryPoint<SMSReportFn>(m_hServiceLib);
    const auto getNextMessage = findEntryPoint<SMSGetNextMessageFn>(m_hServiceLib);
    if (report == nullptr || getNextMessage == nullptr) {
        return;
    }
    takeNextMessage(getNextMessage);
    takeReport(report);
}

void CSmsConsoleDlg::takeNextMessage(SMSGetNextMessageFn getNextMessage) {
    // Cleared so that a field the library leaves unwritten shows empty, not stale stack bytes.
    SMSMessageRecord message{};
    if (getNextMessage(&message) != 1) {
        return;
    }
    // Read back first so that text the operator typed into a pane survives the append.
    m_window.readBackPanes(m_strOutputLog, m_strReceiveLog);
    m_strReceiveLog += receivedMessageEntry(
        boundedText(message.sender), boundedText(message.timestamp), boundedText(message.text));
    refreshPanes();
}

void CSmsConsoleDlg::takeReport(SMSReportFn report) {
    SMSReportRecord record{};
    if (report(&record) != 1) {
        return;
    }
    m_window.readBackPanes(m_strOutputLog, m_strReceiveLog);
    m_strOutputLog +=
        sendReportLine(record.status != 0, boundedText(record.number), boundedText(record.text));
    refreshPanes();
}

void CSmsConsoleDlg::showState(ServiceState state) {
    const bool running = state == ServiceState::Running;
    m_window.enableControl(IDC_BTN_START, !running);
    m_window.enableControl(IDC_BTN_STOP, running);
    m_window.enableControl(IDC_BTN_SEND, running);
}

void CSmsConsoleDlg::refreshPanes() {
    m_window.refreshPanes(m_strOutputLog, m_strReceiveLog);
}

void CSmsConsoleDlg::appendOutputLine(const std::string& line) {
    m_strOutputLog += line;
    refreshPanes();
}
