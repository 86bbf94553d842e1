#pragma once

// The console window: a QDialog realised from the IDD_CONSOLE template. It implements the window
// operations CSmsConsoleDlg relies on and routes clicks, timer ticks and initialisation to it;
// every decision is the console core's. Its pieces:
//   template_builder.h         the controls from the template in res/, by id
//   pane_binding.h             log texts <-> panes, appending instead of rewriting
//   control_text.h             reading and writing a control's text by kind
//   enter_esc_filter.h         the discarded keys (installed on the application by the shell)
//   about_dlg.h                the About box, reached from the window's context menu

#include "console_window.h"
#include "pane_binding.h"
#include "sms_console_dlg.h"
#include "template_builder.h"

#include <QDialog>

#include <map>
#include <memory>

class QMenu;
class QTimer;

class ConsoleDialog : public QDialog, public ConsoleWindow {
    Q_OBJECT
public:
    // Builds the window and runs the console's start-up, leaving the focus on the port combo.
    // The window is centred in the work area of its screen when it is first shown.
    explicit ConsoleDialog(QWidget* parent = nullptr);
    ~ConsoleDialog() override;

    // The control with @p id; null when the window has none.
    QWidget* control(int id) const;
    const CSmsConsoleDlg& console() const { return m_console; }

    void initialiseControls() override;
    void installAboutCommandAndIcons() override;
    std::string controlText(int id) const override;
    void setControlText(int id, const std::string& text) override;
    void enableControl(int id, bool enabled) override;
    bool isChecked(int id) const override;
    void refreshPanes(const LogText& outputLog, const LogText& receiveLog) override;
    void readBackPanes(LogText& outputLog, LogText& receiveLog) override;
    void showMessageBox(const std::string& text) override;
    void startTimer(int timerId, int periodMs) override;
    void stopTimer(int timerId) override;
    std::uint16_t systemDefaultLanguageId() const override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void routeButton(int id, void (CSmsConsoleDlg::*command)());
    void onSystemCommand(int command);
    QWidget& existingControl(int id) const;

    ControlMap m_controls;
    PaneBinding m_outputPane;
    PaneBinding m_receivePane;
    std::map<int, QTimer*> m_timers;
    QMenu* m_contextMenu = nullptr;
    bool m_placed = false;
    CSmsConsoleDlg m_console{*this};
};
