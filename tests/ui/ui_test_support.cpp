#include "ui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGlyphRun>
#include <QTest>
#include <QTextLayout>

MessageBoxCloser::MessageBoxCloser() {
    connect(&m_poll, &QTimer::timeout, this, &MessageBoxCloser::closeOpenBox);
    m_poll.start(20);
}

void MessageBoxCloser::closeOpenBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
        return;
    }
    m_seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    if (whileOpen) {
        whileOpen(*box);
    }
    box->button(QMessageBox::Ok)->click();
}

ShownConsole::ShownConsole(bool withKeyFilter) {
    if (withKeyFilter) {
        keyFilter = std::make_unique<EnterEscFilter>(dialog);
        QApplication::instance()->installEventFilter(keyFilter.get());
    }
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    if (!QTest::qWaitForWindowActive(&dialog)) {
        qWarning("the console window did not become active");
    }
}

ShownConsole::~ShownConsole() = default;

QStringList textsWithMissingGlyphs(const QFont& font, const QStringList& texts) {
    QStringList missing;
    for (const QString& text : texts) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun& run : layout.glyphRuns()) {
            if (run.glyphIndexes().contains(0)) {
                missing << text;
                break;
            }
        }
    }
    return missing;
}
