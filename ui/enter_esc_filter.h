#pragma once

#include <QObject>

class QWidget;

// Discards Enter, Return and Esc, with or without Shift or Ctrl, for one window and everything in
// it, the open list of its combo boxes included: none of them closes the window, presses a
// button, adds a line break or picks a list item. Installed on the application, because the
// combo list is a window of its own whose events never pass through the console. Other windows
// (the About box, message boxes, context menus) keep their keys.
class EnterEscFilter : public QObject {
    Q_OBJECT
public:
    explicit EnterEscFilter(const QWidget& scope, QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isInScope(const QObject* watched) const;

    const QWidget& m_scope;
};
