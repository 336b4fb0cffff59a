#include "gui/CDragControl.h"

#include <cstdio>
#include <cstring>

CDragControl::CDragControl(const CRect& size, CControlListener* listener, long tag)
    : CControl(size, listener, tag), bipolar(false), dragging(false), lastX(0), lastY(0) {
    title[0] = '\0';
    displayText[0] = '\0';
}

void CDragControl::setTitle(const char* text) {
    std::snprintf(title, sizeof(title), "%s", text != nullptr ? text : "");
    setDirty();
}

void CDragControl::setDisplayText(const char* text) {
    char bounded[kMaxText];
    std::snprintf(bounded, sizeof(bounded), "%s", text != nullptr ? text : "");
    if (std::strcmp(bounded, displayText) == 0) return;
    std::memcpy(displayText, bounded, sizeof(displayText));
    setDirty();
}

void CDragControl::setBipolar(bool state) {
    bipolar = state;
    setDirty();
}

bool CDragControl::onMouseDown(CDrawContext*, int x, int y, int buttons) {
    if ((buttons & kLButton) == 0) return false;
    if ((buttons & kDoubleClick) != 0) {
        commitValue(defaultValue);
        return false; // nothing to drag: the release that follows belongs to no gesture
    }
    beginGesture();
    dragging = true;
    lastX = x;
    lastY = y;
    return true;
}

bool CDragControl::onMouseMoved(CDrawContext*, int x, int y, int buttons) {
    if (!dragging) return false;
    // Movement is taken step by step, so Shift may come and go during a drag without a jump.
    const float scale = (buttons & kShift) != 0 ? kFine : 1.0f;
    const float moved = static_cast<float>((x - lastX) - (y - lastY));
    lastX = x;
    lastY = y;
    applyValue(value + moved * scale / static_cast<float>(kDragPixels));
    return true;
}

bool CDragControl::onMouseUp(CDrawContext*, int, int, int) {
    if (!dragging) return false;
    dragging = false;
    endGesture();
    return true;
}

bool CDragControl::onWheel(CDrawContext*, int, int, float distance, int buttons) {
    const float scale = (buttons & kShift) != 0 ? kFine : 1.0f;
    commitValue(value + distance * kStep * scale);
    return true;
}

bool CDragControl::onKeyDown(const char*, int virtualKey) {
    const float step = kStep * ((currentModifiers() & kShift) != 0 ? kFine : 1.0f);
    switch (virtualKey) {
    case kVKeyUp:
    case kVKeyRight:
        commitValue(value + step);
        return true;
    case kVKeyDown:
    case kVKeyLeft:
        commitValue(value - step);
        return true;
    case kVKeyPageUp:
        commitValue(value + 10.0f * step);
        return true;
    case kVKeyPageDown:
        commitValue(value - 10.0f * step);
        return true;
    case kVKeyHome:
        commitValue(0.0f);
        return true;
    case kVKeyEnd:
        commitValue(1.0f);
        return true;
    case kVKeyBack:
    case kVKeyDelete:
        commitValue(defaultValue);
        return true;
    default:
        return false;
    }
}
