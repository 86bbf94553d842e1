#include "dialog_template.h"

const ControlTemplate* findControl(const DialogTemplate& dialog, int controlId) {
    for (const ControlTemplate& control : dialog) {
        if (control.id == controlId) {
            return &control;
        }
    }
    return nullptr;
}
