#include "control_text.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>

QString controlTextOf(const QWidget& control) {
    if (const auto* combo = qobject_cast<const QComboBox*>(&control)) {
        return combo->currentText();
    }
    if (const auto* lineEdit = qobject_cast<const QLineEdit*>(&control)) {
        return lineEdit->text();
    }
    if (const auto* multiLine = qobject_cast<const QPlainTextEdit*>(&control)) {
        return crLfTextOf(*multiLine);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        return button->text();
    }
    if (const auto* groupBox = qobject_cast<const QGroupBox*>(&control)) {
        return groupBox->title();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        return label->text();
    }
    return control.windowTitle();
}

QString crLfTextOf(const QPlainTextEdit& edit) {
    return edit.document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
}

void setControlTextOf(QWidget& control, const QString& text) {
    if (auto* combo = qobject_cast<QComboBox*>(&control)) {
        combo->setEditText(text);
    } else if (auto* lineEdit = qobject_cast<QLineEdit*>(&control)) {
        lineEdit->setText(text);
    } else if (auto* multiLine = qobject_cast<QPlainTextEdit*>(&control)) {
        multiLine->setPlainText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(&control)) {
        button->setText(text);
    } else if (auto* groupBox = qobject_cast<QGroupBox*>(&control)) {
        groupBox->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(&control)) {
        label->setText(text);
    } else {
        control.setWindowTitle(text);
    }
}
