#pragma once

// Text of a console control, the way the window system reads and writes it: a combo box through
// its edit field, a group box through its title, a multi-line edit with CR LF line ends.

#include <QString>

class QWidget;

QString controlTextOf(const QWidget& control);
void setControlTextOf(QWidget& control, const QString& text);
