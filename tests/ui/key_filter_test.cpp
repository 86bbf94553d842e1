// Enter and Esc sent through the window system to the console, a multi-line edit, an editable
// combo and an open combo list. Rows "filtered" run with the key filter as the application shell
// installs it; rows "control" run without it and must show the effect each probe looks for, so
// that every probe is known to be able to fail.

#include "control_ids.h"
#include "ui_test_support.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

enum class Route { Widget, Window };

} // namespace

Q_DECLARE_METATYPE(Route)
Q_DECLARE_METATYPE(Qt::Key)

namespace {

template <typename T> T rowValue(const char* column) {
    return *static_cast<T*>(QTest::qData(column, qMetaTypeId<T>()));
}

// One row of the key table: with or without the filter, which route, which key.
struct KeyProbe {
    bool filtered;
    Route route;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;

    static KeyProbe ofCurrentRow() {
        return {rowValue<bool>("filtered"), rowValue<Route>("route"), rowValue<Qt::Key>("key"),
                rowValue<Qt::KeyboardModifiers>("modifiers")};
    }

    // Sends the key either straight to @p target (QApplication::notify) or through the window
    // system to @p window, which routes it to the focus widget or the open popup.
    void send(QWidget& target, QWidget& window) const {
        if (route == Route::Widget) {
            QTest::keyClick(&target, key, modifiers);
        } else {
            QTest::keyClick(window.windowHandle(), key, modifiers);
        }
    }
};

} // namespace

class KeyFilterTest : public QObject {
    Q_OBJECT
private slots:
    void dialog_data() { addRows(); }
    void dialog();
    void multiLineEdit_data() { addRows(); }
    void multiLineEdit();
    void editableCombo_data() { addRows(); }
    void editableCombo();
    void openComboList_data() { addRows(); }
    void openComboList();
    void altCombinationsPass();
    void otherKeysPass();

private:
    static void addRows();
};

void KeyFilterTest::addRows() {
    QTest::addColumn<bool>("filtered");
    QTest::addColumn<Route>("route");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    const std::pair<const char*, Route> routes[] = {{"widget", Route::Widget},
                                                    {"window", Route::Window}};
    const std::pair<const char*, Qt::Key> keys[] = {
        {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"Esc", Qt::Key_Escape}};
    const std::pair<const char*, Qt::KeyboardModifiers> modifiers[] = {
        {"", Qt::NoModifier}, {"Shift+", Qt::ShiftModifier}, {"Ctrl+", Qt::ControlModifier}};
    for (const auto& [routeName, route] : routes) {
        for (const auto& [keyName, key] : keys) {
            for (const auto& [modifierName, modifier] : modifiers) {
                QTest::addRow("filtered %s %s%s", routeName, modifierName, keyName)
                    << true << route << key << modifier;
            }
            QTest::addRow("control %s %s", routeName, keyName)
                << false << route << key << Qt::KeyboardModifiers(Qt::NoModifier);
        }
    }
}

void KeyFilterTest::dialog() {
    const KeyProbe probe = KeyProbe::ofCurrentRow();
    ShownConsole console(probe.filtered);
    MessageBoxCloser closer;
    auto* clear = console.control<QPushButton>(IDC_BTN_CLEAR);
    clear->setFocus();
    QSignalSpy clicked(clear, &QPushButton::clicked);
    probe.send(*clear, console.dialog);
    const bool changed =
        !console.dialog.isVisible() || !clicked.isEmpty() || !closer.seen().empty();
    QCOMPARE(changed, !probe.filtered);
}

void KeyFilterTest::multiLineEdit() {
    const KeyProbe probe = KeyProbe::ofCurrentRow();
    ShownConsole console(probe.filtered);
    auto* edit = console.control<QPlainTextEdit>(IDC_EDIT_CONTENT);
    edit->setPlainText(QStringLiteral("abc"));
    edit->moveCursor(QTextCursor::End);
    edit->setFocus();
    probe.send(*edit, console.dialog);
    const bool changed =
        edit->toPlainText() != QStringLiteral("abc") || !console.dialog.isVisible();
    QCOMPARE(changed, !probe.filtered);
}

void KeyFilterTest::editableCombo() {
    const KeyProbe probe = KeyProbe::ofCurrentRow();
    ShownConsole console(probe.filtered);
    MessageBoxCloser closer;
    auto* port = console.control<QComboBox>(IDC_COMBO_PORT);
    port->setEditText(QStringLiteral("COM9"));
    port->setFocus();
    const int items = port->count();
    probe.send(*port->lineEdit(), console.dialog);
    const bool changed =
        port->count() != items || !console.dialog.isVisible() || !closer.seen().empty();
    QCOMPARE(changed, !probe.filtered);
}

void KeyFilterTest::openComboList() {
    const KeyProbe probe = KeyProbe::ofCurrentRow();
    ShownConsole console(probe.filtered);
    auto* baud = console.control<QComboBox>(IDC_COMBO_BAUD);
    baud->setFocus();
    baud->showPopup();
    QWidget* list = baud->view()->window();
    QVERIFY(QTest::qWaitForWindowExposed(list));
    QTest::keyClick(baud->view(), Qt::Key_Down);
    probe.send(*baud->view(), *list);
    const bool changed = !list->isVisible() || baud->currentIndex() != 0;
    QCOMPARE(changed, !probe.filtered);
    if (!probe.filtered && probe.key != Qt::Key_Escape) {
        QCOMPARE(baud->currentIndex(), 1); // the probe sees a pick, not only a close
    }
    baud->hidePopup();
}

void KeyFilterTest::altCombinationsPass() {
    ShownConsole console;
    QKeyEvent altReturn(QEvent::KeyPress, Qt::Key_Return, Qt::AltModifier);
    QKeyEvent plainReturn(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QWidget* edit = console.dialog.control(IDC_EDIT_CONTENT);
    QVERIFY(!console.keyFilter->eventFilter(edit, &altReturn));
    QVERIFY(console.keyFilter->eventFilter(edit, &plainReturn));
}

void KeyFilterTest::otherKeysPass() {
    ShownConsole console;
    auto* edit = console.control<QPlainTextEdit>(IDC_EDIT_CONTENT);
    edit->clear();
    edit->setFocus();
    QTest::keyClick(console.dialog.windowHandle(), 'a');
    QTest::keyClick(console.dialog.windowHandle(), 'b');
    QTest::keyClick(console.dialog.windowHandle(), Qt::Key_Backspace);
    QCOMPARE(edit->toPlainText(), QStringLiteral("a"));
    // The list still closes by F4 and picks nothing when it does.
    auto* baud = console.control<QComboBox>(IDC_COMBO_BAUD);
    baud->showPopup();
    QWidget* list = baud->view()->window();
    QVERIFY(QTest::qWaitForWindowExposed(list));
    QTest::keyClick(list->windowHandle(), Qt::Key_F4);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(baud->currentIndex(), 0);
}

int runKeyFilterTests(int argc, char** argv) {
    KeyFilterTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "key_filter_test.moc"
