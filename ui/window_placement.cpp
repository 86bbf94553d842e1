#include "window_placement.h"

#include <algorithm>

QPoint centredPosition(QSize size, const QRect& anchor, const QRect& workArea) {
    QRect placed({0, 0}, size);
    placed.moveCenter(anchor.center());
    const int left =
        std::max(workArea.left(), std::min(placed.left(), workArea.right() + 1 - size.width()));
    const int top =
        std::max(workArea.top(), std::min(placed.top(), workArea.bottom() + 1 - size.height()));
    return {left, top};
}
