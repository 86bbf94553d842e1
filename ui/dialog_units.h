#pragma once

// Dialog units, the way the window system computes them from a dialog's font: a horizontal unit
// is a quarter of the base width, a vertical one an eighth of the base height.

#include <QFont>
#include <QRect>

struct DialogBaseUnits {
    int x;
    int y;

    QRect toPixels(int left, int top, int width, int height) const;
    int horizontalToPixels(int units) const;
    int verticalToPixels(int units) const;
};

// The base units the windows are laid out with, fixed so that a font change cannot silently
// resize them: "Arial" 9 pt (Liberation Sans at 12 px) gives 7 x 14, "SimSun" 9 pt (AR PL UMing
// CN at 12 px) 6 x 12. A startup check and the tests compare them with measureBaseUnits().
constexpr DialogBaseUnits kConsoleBaseUnits{7, 14};
constexpr DialogBaseUnits kAboutBaseUnits{6, 12};

// The base units of @p font: width = (advance of "A".."Z""a".."z" / 26 + 1) / 2, height = font
// height. Not QFontMetrics::averageCharWidth(), which reads a table value that differs between
// metric-compatible fonts.
DialogBaseUnits measureBaseUnits(const QFont& font);
