#pragma once

// Helpers shared by the console window tests (offscreen platform).

#include "console_dialog.h"
#include "enter_esc_filter.h"

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// Closes every message box that opens while it exists, recording what each showed, so that a
// test whose action opens a box (and blocks in its event loop) can go on and look at it.
class MessageBoxCloser : public QObject {
    Q_OBJECT
public:
    struct SeenBox {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    MessageBoxCloser();
    const std::vector<SeenBox>& seen() const { return m_seen; }
    // Called with each box before it is closed, while its event loop runs.
    std::function<void(QMessageBox&)> whileOpen;

private:
    void closeOpenBox();

    QTimer m_poll;
    std::vector<SeenBox> m_seen;
};

// A console window as the application shell makes it: shown, active, with or without the
// Enter/Esc filter on the application.
struct ShownConsole {
    explicit ShownConsole(bool withKeyFilter = true);
    ~ShownConsole();

    template <typename Widget> Widget* control(int id) const {
        return qobject_cast<Widget*>(dialog.control(id));
    }

    ConsoleDialog dialog;
    std::unique_ptr<EnterEscFilter> keyFilter;
};

// Texts among @p texts that, drawn in @p font, use a glyph the fonts lack (glyph index 0).
QStringList textsWithMissingGlyphs(const QFont& font, const QStringList& texts);
