#include "gui/CControlListener.h"

long CControlListener::controlModifierClicked(CDrawContext*, CControl*, long) {
    return 0;
}
