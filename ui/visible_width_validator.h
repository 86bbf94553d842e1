#pragma once

#include <QValidator>

class QLineEdit;

// Refuses any text wider than what its line edit shows without scrolling, so the operator can
// type only as much as fits the visible width (an edit field without automatic horizontal
// scrolling). Text set by the program is not validated and may be longer.
class VisibleWidthValidator : public QValidator {
    Q_OBJECT
public:
    VisibleWidthValidator(const QLineEdit& lineEdit, QObject* parent);

    State validate(QString& input, int& cursorPosition) const override;

    // The width, in pixels, the text may take without the line edit scrolling it.
    int visibleTextWidth() const;

private:
    const QLineEdit& m_lineEdit;
};
