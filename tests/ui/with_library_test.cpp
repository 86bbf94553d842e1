// The console window with the scripted stand-in libkelbrin.so: the labels of each UI language,
// what the operator's input hands to Start and Send, the poll at 1500 ms and none after Stop,
// Query's box while ticks go on, closing while Running, and the application object. The English
// locale unless LC_ALL says otherwise (CTest also runs the labels case in zh_CN).

#include "console_template.h"
#include "console_texts.h"
#include "control_ids.h"
#include "qt_test_main.h"
#include "service_library.h"
#include "sms_console_app.h"
#include "standin/standin_state.h"
#include "ui_test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

template <std::size_t N> void fill(char (&field)[N], const char* text) {
    std::strncpy(field, text, N);
}

int callsOf(const StandinState& state, const std::string& entryPoint) {
    return static_cast<int>(
        std::count_if(state.calls.begin(), state.calls.end(),
                      [&](const StandinCall& call) { return call.entryPoint == entryPoint; }));
}

// Commits @p text into @p edit as an input method does, so that every character arrives as is.
void commitText(QWidget* edit, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
}

void typeIntoCombo(QComboBox* combo, const QString& text) {
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), text);
}

} // namespace

class WithLibraryTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void labelsOnTheWidgets();
    void operatorInputReachesTheLibrary_data();
    void operatorInputReachesTheLibrary();
    void startRunsAndLogs();
    void ticksPutMessageAndReportIntoThePanes();
    void queryBoxKeepsTheTimerTicking();
    void closingWhileRunningCallsNoStop();
    void applicationRunsTheWindowOnce();

private:
    StandinState* m_standin = nullptr;
};

void WithLibraryTest::init() {
    const auto standinState =
        reinterpret_cast<StandinStateFn>(findSymbol(loadServiceLibrary(), kStandinStateSymbol));
    QVERIFY2(standinState != nullptr, "the stand-in libkelbrin.so was not loaded");
    m_standin = standinState();
    *m_standin = StandinState{};
}

void WithLibraryTest::labelsOnTheWidgets() {
    ShownConsole console;
    const bool chinese = qgetenv("LC_ALL").startsWith("zh_CN");
    // Read from the widget as painted: its own text property, not the console's copy.
    const auto shownText = [&](int id) {
        QWidget* control = console.dialog.control(id);
        return control->property("text").isValid() ? control->property("text").toString()
                                                   : control->property("title").toString();
    };
    if (chinese) {
        // The template's own captions stay: nothing is relabelled.
        for (const ControlTemplate& control : consoleTemplate()) {
            if (control.caption[0] != '\0') {
                QCOMPARE(shownText(control.id), QString::fromUtf8(control.caption));
            }
        }
    } else {
        for (const ControlLabel& label : kEnglishLabels) {
            QCOMPARE(shownText(label.controlId), QString::fromUtf8(label.label));
        }
    }
    QCOMPARE(console.control<QPlainTextEdit>(IDC_EDIT_CONTENT)->toPlainText(),
             chinese ? QStringLiteral("This is 短信测试内容 12345")
                     : QStringLiteral("This is Talvoren SMS Test Text"));
    QCOMPARE(console.dialog.windowTitle(), QStringLiteral("Vantrel-V2.4"));
}

void WithLibraryTest::operatorInputReachesTheLibrary_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<bool>("tickRts");
    QTest::addColumn<QString>("typedText");
    QTest::addColumn<QList<int>>("startArguments"); // port, baud, RTS/CTS flag
    QTest::addColumn<QByteArray>("sentText");
    const QString plain = QStringLiteral("hi");
    QTest::newRow("list defaults")
        << ""
        << "" << false << plain << QList<int>{1, 115200, 0} << QByteArray("hi");
    QTest::newRow("port and baud typed, not in the lists")
        << "COM12"
        << "230400" << false << plain << QList<int>{12, 230400, 0} << QByteArray("hi");
    QTest::newRow("RTS ticked") << ""
                                << "" << true << plain << QList<int>{1, 115200, 1}
                                << QByteArray("hi");
    // NBSP, U+2028, emoji and CJK pass unchanged; a line break typed and a lone CR (a paragraph
    // break in the widget) both arrive as CR LF.
    QTest::newRow("text unchanged, line breaks as CR LF")
        << ""
        << "" << false << QStringLiteral("a\u00A0b\u2028c\rd \U0001F600 短信\ne")
        << QList<int>{1, 115200, 0}
        << QByteArray("a\xC2\xA0"
                      "b\xE2\x80\xA8"
                      "c\r\nd \xF0\x9F\x98\x80 \xE7\x9F\xAD\xE4\xBF\xA1\r\ne");
}

void WithLibraryTest::operatorInputReachesTheLibrary() {
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(bool, tickRts);
    QFETCH(QString, typedText);
    QFETCH(QList<int>, startArguments);
    QFETCH(QByteArray, sentText);
    ShownConsole console;
    if (!port.isEmpty()) {
        typeIntoCombo(console.control<QComboBox>(IDC_COMBO_PORT), port);
    }
    if (!baud.isEmpty()) {
        typeIntoCombo(console.control<QComboBox>(IDC_COMBO_BAUD), baud);
    }
    if (tickRts) {
        QTest::mouseClick(console.control<QCheckBox>(IDC_CHECK_RTS), Qt::LeftButton);
    }
    QTest::mouseClick(console.dialog.control(IDC_BTN_START), Qt::LeftButton);
    auto* content = console.control<QPlainTextEdit>(IDC_EDIT_CONTENT);
    content->selectAll();
    commitText(content, typedText);
    QTest::keyClicks(console.control<QLineEdit>(IDC_EDIT_PHONE), QStringLiteral("123"));
    QTest::mouseClick(console.dialog.control(IDC_BTN_SEND), Qt::LeftButton);

    QCOMPARE(m_standin->calls.size(), std::size_t{2});
    const StandinCall& start = m_standin->calls.front();
    QCOMPARE(start.entryPoint, std::string("SMSStartService"));
    QCOMPARE(start.numbers.at(0), startArguments.at(0));
    QCOMPARE(start.numbers.at(1), startArguments.at(1));
    QCOMPARE(start.numbers.at(5), startArguments.at(2));
    const StandinCall& send = m_standin->calls.back();
    QCOMPARE(send.entryPoint, std::string("SMSSendMessage"));
    QCOMPARE(QByteArray::fromStdString(send.texts.at(0)), sentText);
    QCOMPARE(send.texts.at(1), std::string("123"));
}

void WithLibraryTest::startRunsAndLogs() {
    ShownConsole console;
    QTest::mouseClick(console.dialog.control(IDC_BTN_START), Qt::LeftButton);
    QVERIFY(!console.dialog.control(IDC_BTN_START)->isEnabled());
    QVERIFY(console.dialog.control(IDC_BTN_STOP)->isEnabled());
    QVERIFY(console.dialog.control(IDC_BTN_SEND)->isEnabled());
    QCOMPARE(console.control<QPlainTextEdit>(IDC_EDIT_LOG)->toPlainText(),
             QStringLiteral("Start Success\n"));
    const StandinCall& start = m_standin->calls.front();
    QCOMPARE(start.entryPoint, std::string("SMSStartService"));
    QCOMPARE(start.numbers.at(0), 1);
    QCOMPARE(start.numbers.at(1), 115200);

    QTest::mouseClick(console.dialog.control(IDC_BTN_STOP), Qt::LeftButton);
    QVERIFY(console.dialog.control(IDC_BTN_START)->isEnabled());
    QCOMPARE(console.control<QPlainTextEdit>(IDC_EDIT_LOG)->toPlainText(),
             QStringLiteral("Start Success\nStop Success\n"));
    // No poll after Stop: a tick would ask for a report.
    m_standin->calls.clear();
    QTest::qWait(1800);
    QCOMPARE(callsOf(*m_standin, "SMSReport"), 0);
}

void WithLibraryTest::ticksPutMessageAndReportIntoThePanes() {
    ShownConsole console;
    StandinMessage message;
    message.record = SMSMessageRecord{};
    fill(message.record->sender, "+4915112345678");
    fill(message.record->timestamp, "2024-05-01 12:00:00");
    fill(message.record->text, "hello");
    m_standin->messages.push_back(message);
    StandinReport report;
    report.record = SMSReportRecord{};
    report.record->status = 1;
    fill(report.record->number, "123");
    fill(report.record->text, "hi");
    m_standin->reports.push_back(report);

    QElapsedTimer clock;
    // Started before the click, so the clock never sees less than the poll period.
    clock.start();
    QTest::mouseClick(console.dialog.control(IDC_BTN_START), Qt::LeftButton);
    auto* receive = console.control<QPlainTextEdit>(IDC_EDIT_RECEIVE);
    QTRY_VERIFY_WITH_TIMEOUT(!receive->toPlainText().isEmpty(), 6000);
    // The period, not a multiple of it: a loaded machine may delay a tick, not double it.
    const qint64 firstTick = clock.elapsed();
    QVERIFY2(firstTick >= 1500 && firstTick < 3000, qPrintable(QString::number(firstTick)));
    QCOMPARE(receive->toPlainText(),
             QStringLiteral("Receive SMS:<+4915112345678> <2024-05-01 12:00:00>:\n    hello\n"));
    QCOMPARE(console.control<QPlainTextEdit>(IDC_EDIT_LOG)->toPlainText(),
             QStringLiteral("Start Success\nSend 123 SMS Success,Content:hi\n"));
}

void WithLibraryTest::queryBoxKeepsTheTimerTicking() {
    ShownConsole console;
    QTest::mouseClick(console.dialog.control(IDC_BTN_START), Qt::LeftButton);
    m_standin->queryResult = 0;
    MessageBoxCloser closer;
    int reportCallsWhileOpen = 0;
    closer.whileOpen = [&](QMessageBox&) {
        // Stay in the box's event loop past one poll period.
        const int before = callsOf(*m_standin, "SMSReport");
        QTest::qWait(1700);
        reportCallsWhileOpen = callsOf(*m_standin, "SMSReport") - before;
    };
    QTest::mouseClick(console.dialog.control(IDC_BTN_QUERY), Qt::LeftButton);
    QCOMPARE(closer.seen().size(), std::size_t{1});
    QCOMPARE(closer.seen().front().text, QStringLiteral("send failed"));
    QVERIFY(reportCallsWhileOpen >= 1);
}

void WithLibraryTest::closingWhileRunningCallsNoStop() {
    ShownConsole console;
    QTest::mouseClick(console.dialog.control(IDC_BTN_START), Qt::LeftButton);
    m_standin->calls.clear();
    bool execReturned = false;
    QTimer::singleShot(0, [&] { console.dialog.windowHandle()->close(); });
    console.dialog.exec();
    execReturned = true;
    QVERIFY(execReturned);
    QVERIFY(!console.dialog.isVisible());
    QCOMPARE(callsOf(*m_standin, "SMSStopSerice"), 0);
}

void WithLibraryTest::applicationRunsTheWindowOnce() {
    bool escapeKept = false;
    int loopLevel = 0;
    QTimer::singleShot(0, [&] {
        auto* console = qobject_cast<ConsoleDialog*>(QApplication::activeModalWidget());
        if (console == nullptr) {
            return;
        }
        // Without the application's key filter Esc would close the window.
        QTest::keyClick(console, Qt::Key_Escape);
        escapeKept = console->isVisible();
        loopLevel = QThread::currentThread()->loopLevel();
        console->windowHandle()->close();
    });
    // Ends a run that outlives its window (a second event loop), failing it below.
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QApplication::closeAllWindows();
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    CSmsConsoleApp app;
    QCOMPARE(app.InitInstance(), 0);
    QVERIFY(!timedOut);
    QVERIFY(escapeKept);
    QCOMPARE(loopLevel, 1);
}

int main(int argc, char** argv) {
    // The language comes from the locale variables, as in the field; English unless CTest says.
    if (qEnvironmentVariableIsEmpty("LC_ALL")) {
        qputenv("LC_ALL", "en_US.UTF-8");
    }
    return runQtTests(argc, argv, [&] {
        WithLibraryTest test;
        return QTest::qExec(&test, argc, argv);
    });
}

#include "with_library_test.moc"
