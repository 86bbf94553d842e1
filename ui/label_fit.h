#pragma once

class QLabel;

// Labels wrap at word boundaries, as the window system's static text does. A label whose text
// needs more lines than its height holds (the English destination-number label in its 63 dialog
// units) grows upward by those lines, keeping its bottom edge, so no word is cut off.
void growToShowAllLines(QLabel& label);
