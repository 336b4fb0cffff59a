#include "gui/CControl.h"

#include "gui/CControlListener.h"
#include "gui/CFrame.h"

#include <cmath>

namespace {
float clampUnit(float value) {
    return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
}
} // namespace

CControl::CControl(const CRect& size, CControlListener* listener, long tag)
    : CView(size), listener(listener), tag(tag), value(0.0f), defaultValue(0.0f), gestureDepth(0) {}

CControl::~CControl() = default;

void CControl::setValue(float newValue) {
    if (std::isnan(newValue)) return;
    newValue = clampUnit(newValue);
    if (newValue == value) return;
    value = newValue;
    setDirty();
}

void CControl::setDefaultValue(float newValue) {
    if (!std::isnan(newValue)) defaultValue = clampUnit(newValue);
}

void CControl::notifyListener() {
    if (listener == nullptr) return;
    listener->valueChanged(frame != nullptr ? frame->getDrawContext() : nullptr, this);
}

void CControl::beginGesture() {
    if (gestureDepth++ == 0 && listener != nullptr) listener->controlBeginEdit(this);
}

void CControl::endGesture() {
    if (gestureDepth == 0) return;
    if (--gestureDepth == 0 && listener != nullptr) listener->controlEndEdit(this);
}

bool CControl::applyValue(float newValue) {
    if (std::isnan(newValue)) return false;
    newValue = clampUnit(newValue);
    if (newValue == value) return false;
    value = newValue;
    setDirty();
    notifyListener();
    return true;
}

bool CControl::commitValue(float newValue) {
    if (std::isnan(newValue) || clampUnit(newValue) == value) return false;
    beginGesture();
    applyValue(newValue);
    endGesture();
    return true;
}

float CControl::valueOfStep(int step, int steps) {
    if (steps < 2 || step <= 0) return 0.0f;
    if (step >= steps - 1) return 1.0f;
    float value = static_cast<float>(step) / static_cast<float>(steps - 1);
    // For some counts the quotient rounds just below; the next float up belongs to the step.
    if (stepOf(value, steps) < step) value = std::nextafter(value, 2.0f);
    return value;
}

bool CControl::stepForKey(int virtualKey, int selected, int steps, int& step) {
    switch (virtualKey) {
    case kVKeyLeft:
    case kVKeyUp:
        step = selected - 1;
        return true;
    case kVKeyRight:
    case kVKeyDown:
        step = selected + 1;
        return true;
    case kVKeyHome:
        step = 0;
        return true;
    case kVKeyEnd:
        step = steps - 1;
        return true;
    default:
        return false;
    }
}

int CControl::stepOf(float value, int steps) {
    if (steps < 2 || !(value > 0.0f)) return 0;
    const float scaled = static_cast<float>(steps - 1) * value;
    if (scaled >= static_cast<float>(steps - 1)) return steps - 1;
    return static_cast<int>(scaled);
}
