#pragma once

// The console core. CSmsConsoleDlg holds the link to the SMS service library and the two log
// texts, runs start-up, the operator's commands and the poll cycle, and reaches its window only
// through ConsoleWindow. Its pieces:
//   service_library.h  loading libkelbrin.so and looking entry points up by name
//   ui_language.h      g_bChineseUi and the locale to language id mapping
//   console_texts.h    the bilingual texts and the log entries built from library data
//   number_reading.h   the port, baud and index numbers read from control texts
//   bounded_text.h     text of fixed-width record fields
//
// The service state is not a variable: Idle and Running are the enablement of Start, Stop and
// Send together with the poll timer, and only Start and Stop move between them.

#include "console_window.h"
#include "log_text.h"
#include "service_library.h"

#include <string>

class CSmsConsoleDlg {
public:
    explicit CSmsConsoleDlg(ConsoleWindow& window);

    // Start-up, once, after the window's controls exist and before it is shown.
    void OnInitDialog();

    void OnStart();
    void OnStop();
    void OnSend();
    void OnClear();
    void OnQuery();
    // One poll of the library for a received message and a send report.
    void OnTimer(int timerId);

    const LogText& outputLog() const { return m_strOutputLog; }
    const LogText& receiveLog() const { return m_strReceiveLog; }
    bool isLibraryLoaded() const { return m_hServiceLib != nullptr; }

private:
    enum class ServiceState { Idle, Running };

    void showState(ServiceState state);
    void refreshPanes();
    void appendOutputLine(const std::string& line);
    void reportLastError();
    void takeNextMessage(SMSGetNextMessageFn getNextMessage);
    void takeReport(SMSReportFn report);

    ConsoleWindow& m_window;
    ServiceLibraryHandle m_hServiceLib = nullptr;
    LogText m_strOutputLog;
    LogText m_strReceiveLog;
};
