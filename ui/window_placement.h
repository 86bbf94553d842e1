#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Top-left corner that centres a window of @p size over @p anchor, moved as little as needed to
// keep it inside @p workArea (the screen less its panels). A window larger than the work area
// keeps its top-left corner in it.
QPoint centredPosition(QSize size, const QRect& anchor, const QRect& workArea);
