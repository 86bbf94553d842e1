#include "captioned_group_box.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace {

class CaptionLayer : public QWidget {
public:
    CaptionLayer(const CaptionedGroupBox& box, QWidget& parent) : QWidget(&parent), m_box(box) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        m_box.paintCaption(painter);
    }

private:
    const CaptionedGroupBox& m_box;
};

} // namespace

CaptionedGroupBox::CaptionedGroupBox(const QString& title, QWidget& parent)
    : QGroupBox(title, &parent), m_captionLayer(new CaptionLayer(*this, parent)) {}

QRect CaptionedGroupBox::captionRect() const {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
}

void CaptionedGroupBox::paintCaption(QPainter& painter) const {
    if (title().isEmpty()) {
        return;
    }
    painter.setFont(font());
    painter.fillRect(captionRect(), palette().window());
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_GroupBoxLabel;
    style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
}

void CaptionedGroupBox::moveEvent(QMoveEvent* event) {
    m_captionLayer->setGeometry(geometry());
    QGroupBox::moveEvent(event);
}

void CaptionedGroupBox::resizeEvent(QResizeEvent* event) {
    m_captionLayer->setGeometry(geometry());
    QGroupBox::resizeEvent(event);
}
