// The console window without a service library: layout, captions, lists, tab order, fields,
// panes, the library-not-loaded box and the About box.

#include "about_template.h"
#include "captioned_group_box.h"
#include "console_template.h"
#include "console_texts.h"
#include "control_ids.h"
#include "dialog_units.h"
#include "ui_test_support.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

namespace {

QStringList templateCaptions(const DialogTemplate& dialog) {
    QStringList captions;
    for (const ControlTemplate& control : dialog) {
        if (control.caption[0] != '\0') {
            captions << QString::fromUtf8(control.caption);
        }
    }
    return captions;
}

// Opens the console's context menu the way @p open does, picks its About item, and returns
// what the About box showed; @p close closes the box.
struct AboutSeen {
    bool opened = false;
    QString title;
    QString family;
    QSize size;
    QRect geometry;
    QStringList texts;
};

} // namespace

class ConsoleWindowTest : public QObject {
    Q_OBJECT
private slots:
    void baseUnitsAndFontsArePinned();
    void windowAndControlRectangles_data();
    void windowAndControlRectangles();
    void windowFrame();
    void captionsHaveEveryGlyphAndFit();
    void groupBoxCaptionsAreWhole();
    void startUpWithoutLibrary();
    void tabOrderFollowsTheTemplate();
    void comboEditTakesOnlyWhatFits();
    void indexFieldRefusesLetters();
    void destinationNumberIsNotLimited();
    void startWithoutLibraryShowsTheBox();
    void paneRefreshAppendsOrRewrites_data();
    void paneRefreshAppendsOrRewrites();
    void paneReadBack();
    void aboutBoxFromContextMenu_data();
    void aboutBoxFromContextMenu();
    void f1DoesNoHarm();
};

void ConsoleWindowTest::baseUnitsAndFontsArePinned() {
    ShownConsole console;
    QCOMPARE(QFontInfo(console.dialog.font()).family(), QStringLiteral("Liberation Sans"));
    const DialogBaseUnits measured = measureBaseUnits(console.dialog.font());
    QCOMPARE(measured.x, kConsoleBaseUnits.x);
    QCOMPARE(measured.y, kConsoleBaseUnits.y);

    QFont aboutFont(QString::fromUtf8(aboutTemplate().fontFamily));
    aboutFont.setPointSize(aboutTemplate().fontPointSize);
    QCOMPARE(QFontInfo(aboutFont).family(), QStringLiteral("AR PL UMing CN"));
    const DialogBaseUnits aboutMeasured = measureBaseUnits(aboutFont);
    QCOMPARE(aboutMeasured.x, kAboutBaseUnits.x);
    QCOMPARE(aboutMeasured.y, kAboutBaseUnits.y);
}

void ConsoleWindowTest::windowAndControlRectangles_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("expected");
    // Pixels from dialog units at 7 x 14: x = du*7/4, y = du*14/8, rounded.
    QTest::newRow("start button 208,8,37,14") << int(IDC_BTN_START) << QRect(364, 14, 65, 25);
    QTest::newRow("log pane 232,38,211,188") << int(IDC_EDIT_LOG) << QRect(406, 67, 369, 329);
    QTest::newRow("phone edit 76,217,96,13") << int(IDC_EDIT_PHONE) << QRect(133, 380, 168, 23);
    QTest::newRow("index label 330,10,33,8") << int(IDC_STATIC_INDEX) << QRect(578, 18, 58, 14);
    QTest::newRow("receive group 7,28,215,105")
        << int(IDC_GROUP_RECEIVE) << QRect(12, 49, 376, 184);
}

void ConsoleWindowTest::windowAndControlRectangles() {
    QFETCH(int, id);
    QFETCH(QRect, expected);
    ShownConsole console;
    QCOMPARE(console.dialog.size(), QSize(793, 417));
    QCOMPARE(console.dialog.control(id)->geometry(), expected);
}

void ConsoleWindowTest::windowFrame() {
    ShownConsole console;
    auto* port = console.control<QComboBox>(IDC_COMBO_PORT);
    // x, y, width from 49,8,40 du; the height is the box's own, not the 83 du that include the
    // list.
    QCOMPARE(port->geometry(), QRect(86, 14, 70, port->sizeHint().height()));
    QVERIFY(port->height() < 30);

    const Qt::WindowFlags flags = console.dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(console.dialog.minimumSize(), console.dialog.maximumSize());
    QCOMPARE(console.dialog.windowTitle(), QStringLiteral("Vantrel-V2.4"));
    QVERIFY(!console.dialog.windowIcon().isNull());

    const QRect workArea = console.dialog.screen()->availableGeometry();
    const QPoint offset = console.dialog.frameGeometry().center() - workArea.center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("centre off by %1,%2").arg(offset.x()).arg(offset.y())));
}

void ConsoleWindowTest::captionsHaveEveryGlyphAndFit() {
    ShownConsole console;
    QStringList english;
    for (const ControlLabel& label : kEnglishLabels) {
        english << QString::fromUtf8(label.label);
    }
    const QFont font = console.dialog.font();
    QCOMPARE(textsWithMissingGlyphs(font, templateCaptions(consoleTemplate())), QStringList());
    QCOMPARE(textsWithMissingGlyphs(font, english), QStringList());
    QFont aboutFont(QStringLiteral("SimSun"));
    aboutFont.setPointSize(9);
    QCOMPARE(textsWithMissingGlyphs(aboutFont, templateCaptions(aboutTemplate())), QStringList());

    // Every label shows all of its lines, in both languages.
    for (const ControlLabel& label : kEnglishLabels) {
        console.dialog.setControlText(label.controlId, label.label);
    }
    for (auto* label : console.dialog.findChildren<QLabel*>()) {
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                 qPrintable(label->text()));
    }
    const QFontMetrics metrics(font);
    for (auto* button : console.dialog.findChildren<QAbstractButton*>()) {
        QVERIFY2(metrics.horizontalAdvance(button->text()) <= button->width() - 4,
                 qPrintable(button->text()));
    }
}

void ConsoleWindowTest::groupBoxCaptionsAreWhole() {
    // The Send box's caption meets the Receive box's bottom frame line (2 dialog units of
    // overlap): each caption shows as painted alone on the dialog's background, wherever no
    // control inside a box (the port combo's top edge) covers it.
    const QList<int> groupBoxes{IDC_GROUP_SERIAL, IDC_GROUP_RECEIVE, IDC_GROUP_LOG, IDC_GROUP_SEND};
    for (const bool english : {false, true}) {
        ShownConsole console;
        if (english) {
            for (const ControlLabel& label : kEnglishLabels) {
                console.dialog.setControlText(label.controlId, label.label);
            }
        }
        QRegion controls;
        for (const ControlTemplate& control : consoleTemplate()) {
            if (!groupBoxes.contains(control.id)) {
                controls += console.dialog.control(control.id)->geometry();
            }
        }
        const QImage window = console.dialog.grab().toImage();
        for (const int id : groupBoxes) {
            const auto* box = dynamic_cast<const CaptionedGroupBox*>(console.dialog.control(id));
            QVERIFY(box != nullptr);
            const QRect caption = box->captionRect().translated(box->pos());
            QImage alone(window.size(), window.format());
            QPainter painter(&alone);
            painter.translate(box->pos());
            box->paintCaption(painter);
            painter.end();
            for (const QRect& uncovered : QRegion(caption) - controls) {
                QVERIFY2(window.copy(uncovered) == alone.copy(uncovered), qPrintable(box->title()));
            }
        }
    }
}

void ConsoleWindowTest::startUpWithoutLibrary() {
    ShownConsole console;
    // The labels of the layout stay, and the message text stays empty.
    for (const ControlTemplate& control : consoleTemplate()) {
        if (control.caption[0] != '\0') {
            QCOMPARE(QString::fromStdString(console.dialog.controlText(control.id)),
                     QString::fromUtf8(control.caption));
        }
    }
    QCOMPARE(console.control<QPlainTextEdit>(IDC_EDIT_CONTENT)->toPlainText(), QString());

    auto* port = console.control<QComboBox>(IDC_COMBO_PORT);
    auto* baud = console.control<QComboBox>(IDC_COMBO_BAUD);
    QCOMPARE(port->currentText(), QStringLiteral("COM1"));
    QCOMPARE(baud->currentText(), QStringLiteral("115200"));
    QStringList ports;
    for (int i = 0; i < port->count(); ++i) {
        ports << port->itemText(i);
    }
    QCOMPARE(ports, QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    QStringList bauds;
    for (int i = 0; i < baud->count(); ++i) {
        bauds << baud->itemText(i);
    }
    QCOMPARE(bauds, QStringList({"115200", "57600", "38400", "19200", "9600"}));

    QVERIFY(console.dialog.control(IDC_BTN_START)->isEnabled());
    QVERIFY(!console.dialog.control(IDC_BTN_STOP)->isEnabled());
    QVERIFY(!console.dialog.control(IDC_BTN_SEND)->isEnabled());
    QVERIFY(console.dialog.control(IDC_BTN_CLEAR)->isEnabled());
    QVERIFY(console.dialog.control(IDC_BTN_QUERY)->isEnabled());
    QVERIFY(!console.control<QCheckBox>(IDC_CHECK_RTS)->isChecked());
    QWidget* focus = console.dialog.focusWidget();
    QVERIFY(focus == port || focus == port->lineEdit());
}

void ConsoleWindowTest::tabOrderFollowsTheTemplate() {
    ShownConsole console;
    const QList<int> expected{IDC_COMBO_PORT, IDC_COMBO_BAUD,   IDC_BTN_START,    IDC_BTN_STOP,
                              IDC_BTN_CLEAR,  IDC_EDIT_RECEIVE, IDC_EDIT_CONTENT, IDC_BTN_SEND,
                              IDC_EDIT_PHONE, IDC_EDIT_LOG,     IDC_BTN_QUERY,    IDC_EDIT_INDEX,
                              IDC_CHECK_RTS};
    // Disabled buttons are skipped by Tab; enable them so that the whole chain is walked.
    console.dialog.enableControl(IDC_BTN_STOP, true);
    console.dialog.enableControl(IDC_BTN_SEND, true);
    console.dialog.control(IDC_COMBO_PORT)->setFocus();
    QList<int> visited;
    for (int step = 0; step < expected.size(); ++step) {
        QWidget* focus = QApplication::focusWidget();
        for (int id : expected) {
            QWidget* control = console.dialog.control(id);
            if (focus == control || (focus != nullptr && focus->parentWidget() == control)) {
                visited << id;
            }
        }
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
}

void ConsoleWindowTest::comboEditTakesOnlyWhatFits() {
    ShownConsole console;
    auto* port = console.control<QComboBox>(IDC_COMBO_PORT);
    QLineEdit* edit = port->lineEdit();
    edit->clear();
    const QString typed = QStringLiteral("COM1234567890123456789");
    QTest::keyClicks(edit, typed);
    const QString kept = edit->text();
    QVERIFY2(typed.startsWith(kept) && kept.size() < typed.size(), qPrintable(kept));
    const QFontMetrics metrics(edit->font());
    // What is kept fits inside the edit field; one more character would not have.
    QVERIFY(metrics.horizontalAdvance(kept) < edit->width());
    QVERIFY(metrics.horizontalAdvance(typed.left(kept.size() + 1)) > edit->width() - 12);
    // Pasted text is held to the same width.
    edit->clear();
    edit->insert(typed);
    QVERIFY(edit->text().size() < typed.size());
    // Text the console writes is not limited.
    console.dialog.setControlText(IDC_COMBO_BAUD, "1152001152001152001152");
    QCOMPARE(QString::fromStdString(console.dialog.controlText(IDC_COMBO_BAUD)),
             QStringLiteral("1152001152001152001152"));
}

void ConsoleWindowTest::indexFieldRefusesLetters() {
    ShownConsole console;
    auto* index = console.control<QLineEdit>(IDC_EDIT_INDEX);
    QTest::keyClicks(index, QStringLiteral("1a2-b 3x"));
    QCOMPARE(index->text(), QStringLiteral("123"));
}

void ConsoleWindowTest::destinationNumberIsNotLimited() {
    ShownConsole console;
    auto* phone = console.control<QLineEdit>(IDC_EDIT_PHONE);
    const QString number(60, QLatin1Char('8'));
    QTest::keyClicks(phone, number);
    QCOMPARE(phone->text(), number);
}

void ConsoleWindowTest::startWithoutLibraryShowsTheBox() {
    ShownConsole console;
    MessageBoxCloser closer;
    QTest::mouseClick(console.dialog.control(IDC_BTN_START), Qt::LeftButton);
    QCOMPARE(closer.seen().size(), std::size_t{1});
    const MessageBoxCloser::SeenBox& box = closer.seen().front();
    QCOMPARE(box.text, QString::fromUtf8(kLibraryNotLoaded));
    QCOMPARE(box.title, QCoreApplication::applicationName());
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(console.dialog.control(IDC_BTN_START)->isEnabled());
}

void ConsoleWindowTest::paneRefreshAppendsOrRewrites_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("operatorTyped");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("rewritten");
    QTest::newRow("grown log is appended") << "a\r\n"
                                           << ""
                                           << "a\r\nb\r\n"
                                           << false;
    QTest::newRow("cleared log is rewritten") << "a\r\n"
                                              << ""
                                              << "" << true;
    QTest::newRow("changed log is rewritten") << "a\r\n"
                                              << ""
                                              << "x\r\nb\r\n"
                                              << true;
    QTest::newRow("operator-edited pane is rewritten") << "a\r\n"
                                                       << "z"
                                                       << "a\r\nb\r\n"
                                                       << true;
}

void ConsoleWindowTest::paneRefreshAppendsOrRewrites() {
    QFETCH(QString, before);
    QFETCH(QString, operatorTyped);
    QFETCH(QString, after);
    QFETCH(bool, rewritten);
    ShownConsole console;
    auto* pane = console.control<QPlainTextEdit>(IDC_EDIT_LOG);
    console.dialog.refreshPanes(LogText(before.toStdString()), LogText());
    QTest::keyClicks(pane, operatorTyped);
    QSignalSpy changes(pane->document(), &QTextDocument::contentsChange);
    console.dialog.refreshPanes(LogText(after.toStdString()), LogText());
    QCOMPARE(pane->toPlainText(), QString(after).replace("\r\n", "\n"));
    QVERIFY(!changes.isEmpty());
    const bool startsAtZero = changes.first().at(0).toInt() == 0;
    QCOMPARE(startsAtZero, rewritten);
}

void ConsoleWindowTest::paneReadBack() {
    ShownConsole console;
    auto* pane = console.control<QPlainTextEdit>(IDC_EDIT_RECEIVE);
    // Untouched: exactly the bytes given, a bare LF and bytes that are not UTF-8 included, also
    // over a log text of the same length that differs.
    const std::string given = "one\ntwo\r\n\xB6\xCC\r\n";
    console.dialog.refreshPanes(LogText(), LogText(given));
    LogText output("stale");
    LogText receive(std::string(given.size(), 'x'));
    console.dialog.readBackPanes(output, receive);
    QCOMPARE(receive.text(), given);
    QCOMPARE(output.text(), std::string());
    // A read-back followed by a refresh changes nothing.
    QSignalSpy changes(pane->document(), &QTextDocument::contentsChange);
    console.dialog.refreshPanes(output, receive);
    QCOMPARE(changes.count(), 0);

    // Edited by the operator: the widget's text with CR LF line ends.
    console.dialog.refreshPanes(LogText(), LogText("a\r\nb\r\n"));
    pane->moveCursor(QTextCursor::End);
    QTest::keyClicks(pane, QStringLiteral("c"));
    console.dialog.readBackPanes(output, receive);
    QCOMPARE(receive.text(), std::string("a\r\nb\r\nc"));
    // From there an appended line is appended again.
    QSignalSpy afterEdit(pane->document(), &QTextDocument::contentsChange);
    receive += "\r\nd\r\n";
    console.dialog.refreshPanes(output, receive);
    QCOMPARE(pane->toPlainText(), QStringLiteral("a\nb\nc\nd\n"));
    QVERIFY(afterEdit.first().at(0).toInt() > 0);
}

void ConsoleWindowTest::aboutBoxFromContextMenu_data() {
    QTest::addColumn<QString>("opening");
    QTest::addColumn<QString>("closing");
    QTest::newRow("right-click, OK") << "right-click"
                                     << "ok";
    QTest::newRow("right-click, Esc") << "right-click"
                                      << "esc";
    QTest::newRow("right-click, Enter") << "right-click"
                                        << "enter";
    QTest::newRow("Shift+F10, OK") << "shift-f10"
                                   << "ok";
    QTest::newRow("Menu key, OK") << "menu-key"
                                  << "ok";
}

void ConsoleWindowTest::aboutBoxFromContextMenu() {
    QFETCH(QString, opening);
    QFETCH(QString, closing);
    ShownConsole console;
    // The Start button has no menu of its own, so the key's menu reaches the window.
    QWidget* start = console.dialog.control(IDC_BTN_START);
    start->setFocus();

    AboutSeen seen;
    bool menuHadAbout = false;
    // Watches for the menu, then for the About box, whichever event loop is running.
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            const QList<QAction*> actions = menu->actions();
            menuHadAbout = actions.size() == 1 &&
                           actions.front()->text() == QString::fromUtf8(kAboutCommandText) &&
                           actions.front()->data().toInt() == IDM_ABOUTBOX;
            menu->close();
            // Triggered from the event loop, so that this watcher is free to see the box.
            QTimer::singleShot(0, actions.front(), &QAction::trigger);
            return;
        }
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (about == nullptr || about == &console.dialog || seen.opened) {
            return;
        }
        seen.opened = true;
        seen.title = about->windowTitle();
        seen.family = QFontInfo(about->font()).family();
        seen.size = about->size();
        seen.geometry = about->frameGeometry();
        for (auto* label : about->findChildren<QLabel*>()) {
            seen.texts << label->text();
        }
        if (closing == "ok") {
            QTest::mouseClick(about->findChild<QAbstractButton*>(), Qt::LeftButton);
        } else {
            QTest::keyClick(about->windowHandle(),
                            closing == "esc" ? Qt::Key_Escape : Qt::Key_Return);
        }
    });
    watcher.start(10);
    if (opening == "right-click") {
        // Between the receive and log group boxes: the window's own background.
        const QPoint background(394, 175);
        QVERIFY(console.dialog.childAt(background) == nullptr);
        QContextMenuEvent event(QContextMenuEvent::Mouse, background,
                                console.dialog.mapToGlobal(background));
        QCoreApplication::sendEvent(&console.dialog, &event);
    } else if (opening == "shift-f10") {
        QTest::keyClick(console.dialog.windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
    } else {
        // The X11 platform turns the Menu key into a keyboard context menu event for the
        // focused widget; the offscreen platform does not, so the test sends that event.
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                start->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(start, &event);
    }
    QTRY_VERIFY(seen.opened);
    QVERIFY(menuHadAbout);
    QCOMPARE(seen.title, QString::fromUtf8("关于 Vantrel.exe"));
    QCOMPARE(seen.family, QStringLiteral("AR PL UMing CN"));
    QCOMPARE(seen.size, QSize(353, 83));
    QVERIFY(seen.texts.contains(QStringLiteral("Vantrel V2.4")));
    const QPoint offset = seen.geometry.center() - console.dialog.frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2, "the About box is not centred over the console");
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(console.dialog.isVisible());
}

void ConsoleWindowTest::f1DoesNoHarm() {
    ShownConsole console;
    MessageBoxCloser closer;
    QTest::keyClick(console.dialog.windowHandle(), Qt::Key_F1);
    QTest::qWait(50);
    QVERIFY(console.dialog.isVisible());
    QVERIFY(closer.seen().empty());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

int runConsoleWindowTests(int argc, char** argv) {
    ConsoleWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "console_window_test.moc"
