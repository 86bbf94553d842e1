#pragma once

#include "dialog_template.h"
#include "dialog_units.h"

#include <map>

class QDialog;
class QWidget;

// The controls of a built dialog by id.
using ControlMap = std::map<int, QWidget*>;

// Realises @p dialogTemplate on @p dialog: title, font, fixed size and every control as a child
// widget placed by its dialog units, in the template's tab order. Group boxes are stacked under
// the other controls (they only frame them), their caption layers between the two. A drop-down
// combo takes its x, y and width from the template and its own height, since the template's height
// includes the open list.
ControlMap buildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                       DialogBaseUnits baseUnits);
