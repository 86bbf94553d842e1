#pragma once

#include <QGroupBox>

class QPainter;

// A group box whose caption is painted a second time, on the dialog's background, by a layer that
// the dialog stacks above every group box frame (see stackCaptionLayers()). On the window system
// the templates come from, a caption sits on an opaque background, so a box whose frame runs into
// another box's caption (the console's Receive and Send boxes overlap by 2 dialog units) does not
// cut it; Qt draws the caption transparent, and the other box's frame line runs through it.
class CaptionedGroupBox : public QGroupBox {
public:
    CaptionedGroupBox(const QString& title, QWidget& parent);

    // The layer that paints the caption: a sibling with the box's geometry, blind to the mouse.
    QWidget& captionLayer() const { return *m_captionLayer; }
    // Where the caption goes, in the box's coordinates.
    QRect captionRect() const;
    // The caption on the dialog's background, in the box's coordinates; nothing without a title.
    void paintCaption(QPainter& painter) const;

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_captionLayer;
};
