// The console window with the scripted stand-in libkelbrin.so in an English locale: relabelling,
// Start, the poll at 1500 ms, Query's box while ticks go on, and closing while Running.

#include "console_texts.h"
#include "control_ids.h"
#include "service_library.h"
#include "sms_console_app.h"
#include "standin/standin_state.h"
#include "ui_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
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

} // namespace

class WithLibraryTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void englishLabelsOnTheWidgets();
    void startRunsAndLogs();
    void ticksPutMessageAndReportIntoThePanes();
    void queryBoxKeepsTheTimerTicking();
    void closingWhileRunningCallsNoStop();

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

void WithLibraryTest::englishLabelsOnTheWidgets() {
    ShownConsole console;
    for (const ControlLabel& label : kEnglishLabels) {
        QWidget* control = console.dialog.control(label.controlId);
        // Read from the widget as painted: its own text property, not the console's copy.
        const QString shown = control->property("text").isValid()
                                  ? control->property("text").toString()
                                  : control->property("title").toString();
        QCOMPARE(shown, QString::fromUtf8(label.label));
    }
    QCOMPARE(console.control<QPlainTextEdit>(IDC_EDIT_CONTENT)->toPlainText(),
             QStringLiteral("This is Talvoren SMS Test Text"));
    QCOMPARE(console.dialog.windowTitle(), QStringLiteral("Vantrel-V2.4"));
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
    QTRY_VERIFY_WITH_TIMEOUT(!receive->toPlainText().isEmpty(), 3000);
    const qint64 firstTick = clock.elapsed();
    QVERIFY2(firstTick >= 1500 && firstTick < 2500, qPrintable(QString::number(firstTick)));
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

int main(int argc, char** argv) {
    // The language comes from the locale variables, as in the field.
    qputenv("LC_ALL", "en_US.UTF-8");
    QApplication application(argc, argv);
    prepareApplication();
    WithLibraryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "with_library_test.moc"
