#include "label_fit.h"

#include <QLabel>

void growToShowAllLines(QLabel& label) {
    const int needed = label.heightForWidth(label.width());
    if (needed > label.height()) {
        QRect grown = label.geometry();
        grown.setTop(grown.bottom() + 1 - needed);
        label.setGeometry(grown);
    }
}
