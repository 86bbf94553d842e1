// The console as the desktop menu starts it: no KELBRIN_* variable at all, so COM3 can only reach
// the modem through the user's port map. The map first names a modem that is unplugged; the
// operator runs `kelbrin-ports assign COM3 <modemsim link>`, and the next Start, in the same
// console, reaches the modemsim program: Start, Send, the report, Stop.

#include "control_ids.h"
#include "qt_test_main.h"
#include "service_library.h"
#include "simulator_process.h"
#include "ui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

constexpr int kEventDeadlineMs = 15000;
const QString kLoopbackNumber = QStringLiteral("+15550100"); // see e2e_modem.scenario

// Removes every KELBRIN_* variable, as a session started from the menu has none.
void dropKelbrinVariables() {
    for (char** variable = environ; *variable != nullptr;) {
        if (std::strncmp(*variable, "KELBRIN_", 8) == 0) {
            const QByteArray name = QByteArray(*variable).split('=').front();
            ::unsetenv(name.constData()); // environ shifts down: look at this slot again
        } else {
            ++variable;
        }
    }
}

} // namespace

class PortMapEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void assignedPortWorksAtTheNextStart();

private:
    QTemporaryDir m_directory;
    QString m_mapFile;
};

void PortMapEndToEndTest::initTestCase() {
    QVERIFY(m_directory.isValid());
    dropKelbrinVariables();
    // Set before the library runs any thread; the map lives under this folder only.
    qputenv("XDG_CONFIG_HOME", m_directory.filePath(QStringLiteral("config")).toLocal8Bit());
    m_mapFile = m_directory.filePath(QStringLiteral("config/kelbrin/ports"));
    QVERIFY(QDir().mkpath(QFileInfo(m_mapFile).path()));
    QVERIFY2(loadServiceLibrary() != nullptr,
             "libkelbrin.so was not found by its bare name (LD_LIBRARY_PATH=<build>/bin)");
}

void PortMapEndToEndTest::assignedPortWorksAtTheNextStart() {
    const QString link = m_directory.filePath(QStringLiteral("modem"));
    SimulatorProcess modem(QStringLiteral(E2E_SCENARIO), link);
    QVERIFY2(modem.isRunning(), qPrintable(modem.errorOutput()));
    QFile map(m_mapFile);
    QVERIFY(map.open(QIODevice::WriteOnly));
    map.write("# the modems of this desk\nCOM3 = " +
              m_directory.filePath(QStringLiteral("unplugged")).toLocal8Bit() + "\n");
    map.close();

    ShownConsole console;
    const auto log = [&] {
        QStringList lines =
            console.control<QPlainTextEdit>(IDC_EDIT_LOG)->toPlainText().split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    };
    const auto click = [&](int id) {
        QTest::mouseClick(console.control<QAbstractButton>(id), Qt::LeftButton);
    };
    const auto typeInto = [&](int id, const QString& text) {
        QWidget* field = console.dialog.control(id);
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QInputMethodEvent typed;
        typed.setCommitString(text);
        QApplication::sendEvent(field, &typed);
    };
    auto* port = console.control<QComboBox>(IDC_COMBO_PORT);
    port->setCurrentIndex(port->findText(QStringLiteral("COM3")));
    QCOMPARE(port->currentText(), QStringLiteral("COM3"));

    click(IDC_BTN_START);
    QCOMPARE(log(), QStringList{QStringLiteral("Start Failed")});

    QProcess assign;
    assign.start(QStringLiteral(KELBRIN_PORTS_PROGRAM),
                 {QStringLiteral("assign"), QStringLiteral("COM3"), link});
    QVERIFY(assign.waitForFinished(10000));
    QCOMPARE(assign.exitCode(), 0);
    QVERIFY(map.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(map.readAll()),
             QStringLiteral("# the modems of this desk\nCOM3 = %1\n").arg(link));
    map.close();

    click(IDC_BTN_START);
    QCOMPARE(log(), (QStringList{QStringLiteral("Start Failed"), QStringLiteral("Start Success")}));
    typeInto(IDC_EDIT_PHONE, kLoopbackNumber);
    typeInto(IDC_EDIT_CONTENT, QStringLiteral("mapped, not set"));
    click(IDC_BTN_SEND);
    const QString report =
        QStringLiteral("Send %1 SMS Success,Content:mapped, not set").arg(kLoopbackNumber);
    QTRY_COMPARE_WITH_TIMEOUT(log().size(), 3, kEventDeadlineMs);
    QCOMPARE(log().at(2), report);
    click(IDC_BTN_STOP);
    QCOMPARE(log().last(), QStringLiteral("Stop Success"));
    QVERIFY(console.control<QAbstractButton>(IDC_BTN_START)->isEnabled());
    QVERIFY2(modem.stop(), qPrintable(modem.errorOutput()));
}

int main(int argc, char** argv) {
    return runQtTests(argc, argv, [&] {
        PortMapEndToEndTest test;
        return QTest::qExec(&test, argc, argv);
    });
}

#include "port_map_end_to_end_test.moc"
