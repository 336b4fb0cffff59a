#include "gui/CControl.h"

#include "gui/CControlListener.h"
#include "gui/CFrame.h"

CControl::CControl(const CRect& size, CControlListener* listener, long tag)
    : CView(size), listener(listener), tag(tag), value(0.0f) {}

void CControl::setValue(float newValue) {
    if (newValue == value) return;
    value = newValue;
    setDirty();
}

void CControl::notifyListener() {
    if (listener == nullptr) return;
    listener->valueChanged(frame != nullptr ? frame->getDrawContext() : nullptr, this);
}
