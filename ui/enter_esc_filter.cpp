#include "enter_esc_filter.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QWidget>

namespace {

bool isDiscardedKey(const QKeyEvent& key) {
    // Alt combinations arrive as system keys on the original platform and pass.
    if (key.modifiers().testFlag(Qt::AltModifier)) {
        return false;
    }
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Escape;
}

// The list of an open combo box is a popup window whose parent is the combo box.
bool isComboList(const QWidget& window) {
    return window.windowType() == Qt::Popup &&
           qobject_cast<const QComboBox*>(window.parentWidget()) != nullptr;
}

} // namespace

EnterEscFilter::EnterEscFilter(const QWidget& scope, QObject* parent)
    : QObject(parent), m_scope(scope) {}

bool EnterEscFilter::eventFilter(QObject* watched, QEvent* event) {
    // A combo list acts on Return at ShortcutOverride and closes on Esc at both that and
    // KeyPress, so all three key event types are eaten.
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
        type != QEvent::ShortcutOverride) {
        return false;
    }
    return isDiscardedKey(*static_cast<QKeyEvent*>(event)) && isInScope(watched);
}

bool EnterEscFilter::isInScope(const QObject* watched) const {
    // Key events also reach the QWindow behind a widget; only widgets are judged, the widget that
    // receives the same key next is filtered in its turn.
    for (auto* widget = qobject_cast<const QWidget*>(watched); widget != nullptr;
         widget = widget->parentWidget()) {
        if (widget == &m_scope) {
            return true;
        }
        // The open list of a combo box belongs to the console; any other window (a dialog, a
        // context menu) keeps its keys.
        if (widget->isWindow() && !isComboList(*widget)) {
            return false;
        }
    }
    return false;
}
