// The console end to end, one process each as in use: the real console window (offscreen, in this
// process) loads the real libkelbrin.so by its bare name, and the real modemsim program, a process
// of its own, is the modem on COM1 (KELBRIN_COM1 names its link). Everything is done through the
// widgets: buttons clicked, fields typed into, panes read. CTest runs this once per UI language
// (LC_ALL), since the language is chosen at start-up: the typical session first, then the failures
// an operator meets.

#include "control_ids.h"
#include "qt_test_main.h"
#include "service_library.h"
#include "simulator_process.h"
#include "ui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A few poll periods (1500 ms) plus the modem's delays, with room for a loaded machine.
constexpr int kEventDeadlineMs = 15000;

const QString kLoopbackNumber = QStringLiteral("+15550100"); // see e2e_modem.scenario
const QString kOtherNumber = QStringLiteral("+4915112345678");

// What the operator reads in one UI language, and what they type.
struct UiTexts {
    QString started;
    QString startFailed;
    QString stopped;
    QString reportSent;     // %1 number, %2 text
    QString reportFailed;   // %1 number, %2 text
    QString receivedHeader; // %1 sender, %2 time stamp
    QString messageText;
    bool showsLibraryReason; // a failed Start adds the library's error text as the next line
};

const UiTexts kEnglish{
    QStringLiteral("Start Success"),
    QStringLiteral("Start Failed"),
    QStringLiteral("Stop Success"),
    QStringLiteral("Send %1 SMS Success,Content:%2"),
    QStringLiteral("Send %1 SMS Fail,Content:%2"),
    QStringLiteral("Receive SMS:<%1> <%2>:"),
    QStringLiteral("Hello from the console, 12:30 @ home"),
    false,
};

const UiTexts kChinese{
    QStringLiteral("启动成功"),
    QStringLiteral("启动失败"),
    QStringLiteral("停止成功"),
    QStringLiteral("发往%1的短信发送成功,内容:%2"),
    QStringLiteral("发往%1的短信发送失败,内容:%2"),
    QStringLiteral("收到短信:<%1> <%2>:"),
    QStringLiteral("你好，这是短信测试 №1"),
    true,
};

// The header line of a received message from @p sender, with any time stamp of the form
// YYYY-MM-DD HH:MM:SS.
QRegularExpression receivedHeaderPattern(const QString& format, const QString& sender) {
    const QString timestamp = QStringLiteral("TIMESTAMP");
    QString pattern = QRegularExpression::escape(format.arg(sender, timestamp));
    pattern.replace(timestamp, QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"));
    return QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$'));
}

} // namespace

class ConsoleEndToEndTest : public QObject {
    Q_OBJECT
public:
    explicit ConsoleEndToEndTest(const UiTexts& texts) : m_texts(texts) {}

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typicalSession();
    void startFailsWithTheModemsReason_data();
    void startFailsWithTheModemsReason();
    void startRefusedByThePort_data();
    void startRefusedByThePort();
    void sendNotAccepted_data();
    void sendNotAccepted();
    void modemLostWhileRunning();

private:
    void startModem();
    QAbstractButton* button(int id) const;
    QWidget* control(int id) const;
    void click(int id);
    // Selects what the field holds and types @p text over it, committed as an input method does.
    void typeInto(int id, const QString& text);
    // Types the number and the text, presses Send; the index the library gives this send (sends
    // are numbered 1, 2, ... since the library was loaded, that is, in this process).
    int send(const QString& number, const QString& text);
    // Query for @p index; the text of the box it showed (closed by a timer), or "" if none.
    QString query(int index, const std::function<void()>& whileOpen = {});
    QStringList paneLines(int id) const;
    bool isRunning() const;

    const UiTexts& m_texts;
    QTemporaryDir m_directory;
    QString m_modemLink;
    std::unique_ptr<SimulatorProcess> m_modem;
    std::unique_ptr<ShownConsole> m_console;
    int m_sends = 0;
};

void ConsoleEndToEndTest::initTestCase() {
    QVERIFY(m_directory.isValid());
    m_modemLink = m_directory.filePath(QStringLiteral("modem"));
    // Set before the library runs any thread; every case's modem is published at this link.
    qputenv("KELBRIN_COM1", m_modemLink.toLocal8Bit());
    QVERIFY2(loadServiceLibrary() != nullptr,
             "libkelbrin.so was not found by its bare name (LD_LIBRARY_PATH=<build>/bin)");
}

void ConsoleEndToEndTest::init() {
    startModem();
    m_console = std::make_unique<ShownConsole>();
}

void ConsoleEndToEndTest::cleanup() {
    // A failed case may leave the service open; the next case starts it again.
    if (m_console && button(IDC_BTN_STOP)->isEnabled()) {
        click(IDC_BTN_STOP);
    }
    m_console.reset();
    if (m_modem) {
        QVERIFY2(m_modem->stop(), qPrintable(m_modem->errorOutput()));
        m_modem.reset();
    }
}

void ConsoleEndToEndTest::startModem() {
    if (m_modem) {
        // The old program removes its link before the new one publishes its own.
        QVERIFY2(m_modem->stop(), qPrintable(m_modem->errorOutput()));
    }
    m_modem = std::make_unique<SimulatorProcess>(QStringLiteral(E2E_SCENARIO), m_modemLink);
    QVERIFY2(m_modem->isRunning(), qPrintable(m_modem->errorOutput()));
}

QWidget* ConsoleEndToEndTest::control(int id) const {
    return m_console->dialog.control(id);
}

QAbstractButton* ConsoleEndToEndTest::button(int id) const {
    return m_console->control<QAbstractButton>(id);
}

void ConsoleEndToEndTest::click(int id) {
    QTest::mouseClick(button(id), Qt::LeftButton);
}

void ConsoleEndToEndTest::typeInto(int id, const QString& text) {
    QWidget* field = control(id);
    field->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QInputMethodEvent typed;
    typed.setCommitString(text);
    QApplication::sendEvent(field, &typed);
}

int ConsoleEndToEndTest::send(const QString& number, const QString& text) {
    typeInto(IDC_EDIT_PHONE, number);
    typeInto(IDC_EDIT_CONTENT, text);
    click(IDC_BTN_SEND);
    return ++m_sends;
}

QString ConsoleEndToEndTest::query(int index, const std::function<void()>& whileOpen) {
    typeInto(IDC_EDIT_INDEX, QString::number(index));
    MessageBoxCloser closer;
    closer.whileOpen = [&](QMessageBox&) {
        if (whileOpen) {
            whileOpen();
        }
    };
    click(IDC_BTN_QUERY);
    return closer.seen().size() == 1 ? closer.seen().front().text : QString();
}

QStringList ConsoleEndToEndTest::paneLines(int id) const {
    QStringList lines =
        m_console->control<QPlainTextEdit>(id)->toPlainText().split(QLatin1Char('\n'));
    if (lines.last().isEmpty()) {
        lines.removeLast(); // every entry ends its last line
    }
    return lines;
}

bool ConsoleEndToEndTest::isRunning() const {
    return !button(IDC_BTN_START)->isEnabled() && button(IDC_BTN_STOP)->isEnabled() &&
           button(IDC_BTN_SEND)->isEnabled();
}

void ConsoleEndToEndTest::typicalSession() {
    // The defaults: port COM1, 115200 bit/s.
    click(IDC_BTN_START);
    QCOMPARE(paneLines(IDC_EDIT_LOG), QStringList{m_texts.started});
    QVERIFY(isRunning());

    // A message to the loopback number: its report, then the message itself coming back.
    const int index = send(kLoopbackNumber, m_texts.messageText);
    const QString reportLine = m_texts.reportSent.arg(kLoopbackNumber, m_texts.messageText);
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(IDC_EDIT_LOG), (QStringList{m_texts.started, reportLine}),
                              kEventDeadlineMs);
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(IDC_EDIT_RECEIVE).size(), 2, kEventDeadlineMs);
    const QStringList received = paneLines(IDC_EDIT_RECEIVE);
    const QRegularExpression header =
        receivedHeaderPattern(m_texts.receivedHeader, kLoopbackNumber);
    QVERIFY2(header.match(received.at(0)).hasMatch(), qPrintable(received.at(0)));
    QCOMPARE(received.at(1), QStringLiteral("    ") + m_texts.messageText);

    // Query's box: the answer, and the poll going on while it is open (a message that arrives
    // meanwhile reaches the receive pane before the box is closed).
    bool receivedWhileOpen = false;
    const QString answer = query(index, [&] {
        m_modem->control(QStringLiteral("deliver from=+4930123456 text=\"during the query\""));
        receivedWhileOpen = QTest::qWaitFor([&] { return paneLines(IDC_EDIT_RECEIVE).size() == 4; },
                                            kEventDeadlineMs);
    });
    QCOMPARE(answer, QStringLiteral("send sucessful"));
    QVERIFY2(receivedWhileOpen, "no poll while Query's box was open");
    QCOMPARE(paneLines(IDC_EDIT_RECEIVE).at(3), QStringLiteral("    during the query"));

    click(IDC_BTN_STOP);
    QCOMPARE(paneLines(IDC_EDIT_LOG), (QStringList{m_texts.started, reportLine, m_texts.stopped}));
    QVERIFY(button(IDC_BTN_START)->isEnabled());
    QVERIFY(!button(IDC_BTN_STOP)->isEnabled());
    QVERIFY(!button(IDC_BTN_SEND)->isEnabled());

    click(IDC_BTN_CLEAR);
    QCOMPARE(m_console->control<QPlainTextEdit>(IDC_EDIT_LOG)->toPlainText(), QString());
    QCOMPARE(m_console->control<QPlainTextEdit>(IDC_EDIT_RECEIVE)->toPlainText(), QString());
}

void ConsoleEndToEndTest::startFailsWithTheModemsReason_data() {
    QTest::addColumn<QStringList>("settings"); // modemsim control commands
    QTest::addColumn<QString>("reason");       // what the Chinese console shows after its line
    QTest::newRow("no answer")
        << QStringList{QStringLiteral("set silent on")}
        << QStringLiteral("COM1 (%1) 上的调制解调器在 115200 bit/s 下无应答").arg(m_modemLink);
    QTest::newRow("SIM PIN") << QStringList{QStringLiteral("set sim pin")}
                             << QStringLiteral("SIM 卡要求输入 PIN 码（SIM PIN）：请用 AT+CPIN=");
    QTest::newRow("no SIM") << QStringList{QStringLiteral("set sim absent")}
                            << QStringLiteral("中没有 SIM 卡：请插入 SIM 卡后重新启动");
    QTest::newRow("not registered")
        << QStringList{QStringLiteral("set registration 0"),
                       QStringLiteral("set gprs_registration 0"),
                       QStringLiteral("set eps_registration 0")}
        << QStringLiteral(
               "调制解调器未注册到网络，也未在搜索网络（+CREG 状态 0）：请检查 SIM 卡和天线");
}

void ConsoleEndToEndTest::startFailsWithTheModemsReason() {
    QFETCH(QStringList, settings);
    QFETCH(QString, reason);
    for (const QString& setting : settings) {
        QCOMPARE(m_modem->control(setting), QStringLiteral("OK\n"));
    }
    QElapsedTimer clock;
    clock.start();
    click(IDC_BTN_START);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    const QStringList log = paneLines(IDC_EDIT_LOG);
    QVERIFY2(!log.isEmpty(), "no line after a failed Start");
    QCOMPARE(log.first(), m_texts.startFailed);
    if (m_texts.showsLibraryReason) {
        QCOMPARE(log.size(), 2);
        QVERIFY2(log.at(1).startsWith(QStringLiteral("启动短信服务失败：")), qPrintable(log.at(1)));
        QVERIFY2(log.at(1).contains(reason), qPrintable(log.at(1)));
    } else {
        QCOMPARE(log.size(), 1);
    }
    QVERIFY(button(IDC_BTN_START)->isEnabled());
    QVERIFY(!button(IDC_BTN_STOP)->isEnabled());
    QVERIFY(!button(IDC_BTN_SEND)->isEnabled());
}

void ConsoleEndToEndTest::startRefusedByThePort_data() {
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("reason"); // the library's text, which the Chinese console shows
    QTest::newRow("device missing")
        << false << QStringLiteral("启动短信服务失败：COM1：设备 %1 不存在。").arg(m_modemLink);
    // The lock is this process's: the library names its holder all the same.
    QTest::newRow("device held") << true
                                 << QStringLiteral("启动短信服务失败：COM1 (%1) 被进程 %2（")
                                        .arg(m_modemLink)
                                        .arg(QCoreApplication::applicationPid());
}

void ConsoleEndToEndTest::startRefusedByThePort() {
    QFETCH(bool, held);
    QFETCH(QString, reason);
    int holder = -1;
    const auto release = qScopeGuard([&] {
        if (holder >= 0) {
            ::close(holder);
        }
    });
    if (held) {
        holder = ::open(QFile::encodeName(m_modemLink).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
    } else {
        QVERIFY2(m_modem->stop(), qPrintable(m_modem->errorOutput()));
        m_modem.reset();
    }
    click(IDC_BTN_START);

    const QStringList log = paneLines(IDC_EDIT_LOG);
    QVERIFY2(!log.isEmpty(), "no line after a failed Start");
    QCOMPARE(log.first(), m_texts.startFailed);
    if (m_texts.showsLibraryReason) {
        QCOMPARE(log.size(), 2);
        QVERIFY2(log.at(1).startsWith(reason), qPrintable(log.at(1)));
    } else {
        QCOMPARE(log.size(), 1);
    }
    QVERIFY(!isRunning());
}

void ConsoleEndToEndTest::sendNotAccepted_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("accepted");
    // The network refuses the message for good (+CMS ERROR: 21, short message transfer
    // rejected; a temporary failure such as 38 would be tried again).
    QTest::newRow("refused by the network")
        << QStringLiteral("fail-next-send 21") << QStringLiteral("send failed") << 0;
    // The modem takes the message and answers +CMS ERROR: 500 (unknown error), and the network
    // delivers it all the same: the console must not call it failed.
    QTest::newRow("unknown error after the message went out")
        << QStringLiteral("set send_result error_500") << QStringLiteral("unknown") << 1;
}

void ConsoleEndToEndTest::sendNotAccepted() {
    QFETCH(QString, fault);
    QFETCH(QString, answer);
    QFETCH(int, accepted);
    click(IDC_BTN_START);
    QVERIFY(isRunning());
    QCOMPARE(m_modem->control(fault), QStringLiteral("OK\n"));
    const int index = send(kOtherNumber, m_texts.messageText);
    QTRY_COMPARE_WITH_TIMEOUT(
        paneLines(IDC_EDIT_LOG),
        (QStringList{m_texts.started, m_texts.reportFailed.arg(kOtherNumber, m_texts.messageText)}),
        kEventDeadlineMs);
    QCOMPARE(query(index), answer);
    // The report comes after the last try: the message went to the modem once.
    QCOMPARE(m_modem->counter(QStringLiteral("send_attempts")), 1);
    QCOMPARE(m_modem->counter(QStringLiteral("accepted")), accepted);
    QVERIFY(isRunning());
}

void ConsoleEndToEndTest::modemLostWhileRunning() {
    click(IDC_BTN_START);
    QVERIFY(isRunning());
    // The modem takes the message and holds its answer, then is unplugged.
    QCOMPARE(m_modem->control(QStringLiteral("set send_delay_ms 60000")), QStringLiteral("OK\n"));
    send(kOtherNumber, m_texts.messageText);
    QTRY_COMPARE_WITH_TIMEOUT(m_modem->counter(QStringLiteral("send_attempts")), 1,
                              kEventDeadlineMs);
    QCOMPARE(m_modem->control(QStringLiteral("hangup")), QStringLiteral("OK\n"));
    const QString failedLine = m_texts.reportFailed.arg(kOtherNumber, m_texts.messageText);
    QTRY_COMPARE_WITH_TIMEOUT(paneLines(IDC_EDIT_LOG), (QStringList{m_texts.started, failedLine}),
                              kEventDeadlineMs);

    QElapsedTimer clock;
    clock.start();
    click(IDC_BTN_STOP);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(paneLines(IDC_EDIT_LOG), (QStringList{m_texts.started, failedLine, m_texts.stopped}));

    // The modem is plugged in again: Start works as before.
    startModem();
    if (QTest::currentTestFailed()) {
        return;
    }
    click(IDC_BTN_START);
    QCOMPARE(paneLines(IDC_EDIT_LOG).last(), m_texts.started);
    QVERIFY(isRunning());
}

int main(int argc, char** argv) {
    // The console picks its language from the same variable at start-up.
    const QByteArray locale = qgetenv("LC_ALL");
    const UiTexts* texts = locale.startsWith("zh_CN") ? &kChinese
                           : locale.startsWith("en")  ? &kEnglish
                                                      : nullptr;
    if (texts == nullptr) {
        std::fputs("set LC_ALL to en_US.UTF-8 or zh_CN.UTF-8: the UI language under test\n",
                   stderr);
        return 2;
    }
    return runQtTests(argc, argv, [&] {
        ConsoleEndToEndTest test(*texts);
        return QTest::qExec(&test, argc, argv);
    });
}

#include "console_end_to_end_test.moc"
