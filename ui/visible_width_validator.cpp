#include "visible_width_validator.h"

#include <QFontMetricsF>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include <cmath>

namespace {

// QLineEdit's fixed inner margin on either side of the text.
constexpr int kLineEditHorizontalMargin = 2;
// The text cursor drawn after the last character takes one pixel.
constexpr int kCursorWidth = 1;

} // namespace

VisibleWidthValidator::VisibleWidthValidator(const QLineEdit& lineEdit, QObject* parent)
    : QValidator(parent), m_lineEdit(lineEdit) {}

int VisibleWidthValidator::visibleTextWidth() const {
    QStyleOptionFrame frame;
    frame.initFrom(&m_lineEdit);
    frame.rect = m_lineEdit.rect();
    frame.lineWidth =
        m_lineEdit.hasFrame()
            ? m_lineEdit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, &m_lineEdit)
            : 0;
    const QRect contents =
        m_lineEdit.style()->subElementRect(QStyle::SE_LineEditContents, &frame, &m_lineEdit);
    const QMargins margins = m_lineEdit.textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * kLineEditHorizontalMargin;
}

QValidator::State VisibleWidthValidator::validate(QString& input, int& cursorPosition) const {
    Q_UNUSED(cursorPosition)
    const double textWidth = QFontMetricsF(m_lineEdit.font()).horizontalAdvance(input);
    const bool fits = static_cast<int>(std::lround(textWidth)) + kCursorWidth <= visibleTextWidth();
    return fits ? Acceptable : Invalid;
}
