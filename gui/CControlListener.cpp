#include "gui/CControlListener.h"

long CControlListener::controlModifierClicked(CDrawContext*, CControl*, long) {
    return 0;
}

void CControlListener::controlBeginEdit(CControl*) {}

void CControlListener::controlEndEdit(CControl*) {}
