#include "console_dialog.h"

#include "about_dlg.h"
#include "about_template.h"
#include "app_icon.h"
#include "console_template.h"
#include "control_ids.h"
#include "control_text.h"
#include "label_fit.h"
#include "ui_language.h"
#include "window_placement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>

namespace {

// The window system masks the low four bits of a system-menu command.
constexpr int kSystemCommandMask = 0xFFF0;

QPlainTextEdit& paneOf(const ControlMap& controls, int id) {
    return *qobject_cast<QPlainTextEdit*>(controls.at(id));
}

} // namespace

ConsoleDialog::ConsoleDialog(QWidget* parent)
    : QDialog(parent), m_controls(buildDialog(*this, consoleTemplate(), kConsoleBaseUnits)),
      m_outputPane(paneOf(m_controls, IDC_EDIT_LOG)),
      m_receivePane(paneOf(m_controls, IDC_EDIT_RECEIVE)) {
    // A main window of its own (own taskbar entry) with a minimise box and no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    routeButton(IDC_BTN_START, &CSmsConsoleDlg::OnStart);
    routeButton(IDC_BTN_STOP, &CSmsConsoleDlg::OnStop);
    routeButton(IDC_BTN_SEND, &CSmsConsoleDlg::OnSend);
    routeButton(IDC_BTN_CLEAR, &CSmsConsoleDlg::OnClear);
    routeButton(IDC_BTN_QUERY, &CSmsConsoleDlg::OnQuery);

    m_console.OnInitDialog();

    existingControl(IDC_COMBO_PORT).setFocus();
}

void ConsoleDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Placed at the first showing, when the size of the window frame is known.
    if (!m_placed) {
        const QRect workArea = screen()->availableGeometry();
        move(centredPosition(frameGeometry().size(), workArea, workArea));
        m_placed = true;
    }
}

ConsoleDialog::~ConsoleDialog() = default;

QWidget* ConsoleDialog::control(int id) const {
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

QWidget& ConsoleDialog::existingControl(int id) const {
    return *m_controls.at(id);
}

void ConsoleDialog::routeButton(int id, void (CSmsConsoleDlg::*command)()) {
    auto* button = qobject_cast<QAbstractButton*>(&existingControl(id));
    connect(button, &QAbstractButton::clicked, this, [this, command] { (m_console.*command)(); });
}

void ConsoleDialog::initialiseControls() {
    auto* port = qobject_cast<QComboBox*>(&existingControl(IDC_COMBO_PORT));
    for (const char* item : kInitialPortList) {
        port->addItem(QString::fromUtf8(item));
    }
    auto* baud = qobject_cast<QComboBox*>(&existingControl(IDC_COMBO_BAUD));
    for (const char* item : kInitialBaudList) {
        baud->addItem(QString::fromUtf8(item));
    }
    refreshPanes(m_console.outputLog(), m_console.receiveLog());
}

void ConsoleDialog::installAboutCommandAndIcons() {
    // The window manager owns the window menu here, so the About command goes on the console's
    // own context menu, with the same text and command id.
    m_contextMenu = new QMenu(this);
    QAction* about = m_contextMenu->addAction(QString::fromUtf8(kAboutCommandText));
    about->setData(IDM_ABOUTBOX);
    connect(m_contextMenu, &QMenu::triggered, this,
            [this](QAction* action) { onSystemCommand(action->data().toInt()); });
    setWindowIcon(applicationIcon());
}

std::string ConsoleDialog::controlText(int id) const {
    return controlTextOf(existingControl(id)).toStdString();
}

void ConsoleDialog::setControlText(int id, const std::string& text) {
    QWidget& control = existingControl(id);
    setControlTextOf(control, QString::fromStdString(text));
    if (auto* label = qobject_cast<QLabel*>(&control)) {
        growToShowAllLines(*label);
    }
}

void ConsoleDialog::enableControl(int id, bool enabled) {
    existingControl(id).setEnabled(enabled);
}

bool ConsoleDialog::isChecked(int id) const {
    return qobject_cast<const QCheckBox*>(&existingControl(id))->checkState() != Qt::Unchecked;
}

void ConsoleDialog::refreshPanes(const LogText& outputLog, const LogText& receiveLog) {
    m_outputPane.refresh(outputLog);
    m_receivePane.refresh(receiveLog);
}

void ConsoleDialog::readBackPanes(LogText& outputLog, LogText& receiveLog) {
    m_outputPane.readBack(outputLog);
    m_receivePane.readBack(receiveLog);
}

void ConsoleDialog::showMessageBox(const std::string& text) {
    // exec() runs a nested event loop, so the poll timer keeps ticking while the box is open.
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ConsoleDialog::startTimer(int timerId, int periodMs) {
    QTimer*& timer = m_timers[timerId];
    if (timer == nullptr) {
        timer = new QTimer(this);
        // A coarse timer (Qt's default) may fire up to 5 % early; the poll never comes before its
        // period is up.
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, timerId] { m_console.OnTimer(timerId); });
    }
    timer->start(periodMs);
}

void ConsoleDialog::stopTimer(int timerId) {
    const auto found = m_timers.find(timerId);
    if (found != m_timers.end()) {
        found->second->stop();
    }
}

std::uint16_t ConsoleDialog::systemDefaultLanguageId() const {
    return processLanguageId();
}

void ConsoleDialog::contextMenuEvent(QContextMenuEvent* event) {
    // Reached by a right-click on the window's background, and by the Menu key or Shift+F10 when
    // the focused control has no menu of its own.
    if (m_contextMenu != nullptr) {
        m_contextMenu->exec(event->globalPos());
    }
}

void ConsoleDialog::keyPressEvent(QKeyEvent* event) {
    // X11 turns the Menu key into a context menu event itself; Shift+F10 is made to do the same.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QWidget* target = focusWidget() != nullptr ? focusWidget() : this;
        const QPoint position = target->rect().center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, position,
                                    target->mapToGlobal(position));
        QCoreApplication::sendEvent(target, &menuEvent);
        return;
    }
    QDialog::keyPressEvent(event);
}

void ConsoleDialog::onSystemCommand(int command) {
    if ((command & kSystemCommandMask) == IDM_ABOUTBOX) {
        CAboutDlg about(*this);
        about.exec();
    }
}
