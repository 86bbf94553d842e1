#pragma once

// Text of a console control, the way the window system reads and writes it: a combo box through
// its edit field, a group box through its title, a multi-line edit with CR LF line ends.

#include <QString>

class QPlainTextEdit;
class QWidget;

QString controlTextOf(const QWidget& control);
// The text of a multi-line edit as it holds it, with only the widget's paragraph separator
// (U+2029) turned into CR LF: no-break spaces, U+2028 and every other character pass unchanged
// (toPlainText() would turn the first into a space and the second into a line break).
QString crLfTextOf(const QPlainTextEdit& edit);
void setControlTextOf(QWidget& control, const QString& text);
