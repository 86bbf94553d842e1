#include "sms_console_app.h"

#include "app_icon.h"
#include "console_dialog.h"
#include "dialog_units.h"
#include "enter_esc_filter.h"

#include <QApplication>
#include <QFontInfo>

namespace {

// The layout is fixed in pixels by the base units the console was designed with; a dialog font
// that resolves differently would clip labels, so say so.
void warnOnUnexpectedFont(const QWidget& console) {
    const DialogBaseUnits measured = measureBaseUnits(console.font());
    if (measured.x != kConsoleBaseUnits.x || measured.y != kConsoleBaseUnits.y) {
        qWarning("dialog font resolves to %s with base units %d x %d instead of %d x %d; "
                 "labels may be clipped (install fonts-liberation)",
                 qPrintable(QFontInfo(console.font()).family()), measured.x, measured.y,
                 kConsoleBaseUnits.x, kConsoleBaseUnits.y);
    }
}

} // namespace

void prepareApplication() {
    // The About box asks for SimSun; the Song face installed on Linux stands in for it.
    QFont::insertSubstitution(QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"));
    QApplication::setWindowIcon(applicationIcon());
}

int CSmsConsoleApp::InitInstance() {
    prepareApplication();

    ConsoleDialog console;
    warnOnUnexpectedFont(console);
    EnterEscFilter keyFilter(console);
    QApplication::instance()->installEventFilter(&keyFilter);
    console.exec();
    return 0;
}
