#include "dialog_units.h"

#include <QFontMetrics>

namespace {

// a * b / c rounded to the nearest integer, as the window system's MulDiv does for positives.
int mulDiv(int a, int b, int c) {
    return (a * b + c / 2) / c;
}

} // namespace

int DialogBaseUnits::horizontalToPixels(int units) const {
    return mulDiv(units, x, 4);
}

int DialogBaseUnits::verticalToPixels(int units) const {
    return mulDiv(units, y, 8);
}

QRect DialogBaseUnits::toPixels(int left, int top, int width, int height) const {
    return {horizontalToPixels(left), verticalToPixels(top), horizontalToPixels(width),
            verticalToPixels(height)};
}

DialogBaseUnits measureBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabetAdvance = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabetAdvance / 26 + 1) / 2, metrics.height()};
}
