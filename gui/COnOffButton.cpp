#include "gui/COnOffButton.h"

#include "gui/CDrawContext.h"
#include "gui/Palette.h"

#include <cstdio>

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, long tag,
                           const char* text)
    : CControl(size, listener, tag) {
    std::snprintf(title, sizeof(title), "%s", text != nullptr ? text : "");
}

void COnOffButton::getLightCircle(double* cx, double* cy, double* radius) const {
    *radius = 4.5;
    *cx = size.left + 11.0;
    *cy = (size.top + size.bottom) / 2.0;
}

void COnOffButton::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    context->setFillColor(palette::kFace);
    context->fillRoundRect(size, 4);
    context->setFrameColor(isFocused() ? palette::kFocus : palette::kFaceEdge);
    context->setLineWidth(1);
    context->frameRoundRect(size, 4);

    double cx = 0.0, cy = 0.0, r = 0.0;
    getLightCircle(&cx, &cy, &r);
    context->setFillColor(palette::kWellEdge);
    context->fillCircle(cx, cy, r + 1.0);
    if (isOn()) {
        context->setFillColor(palette::kLedOn.withAlpha(60));
        context->fillCircle(cx, cy, r + 3.0);
        context->fillShadedCircle(cx, cy, r, CColor(0xe4, 0xff, 0xd8), palette::kLedOn);
    } else {
        context->setFillColor(palette::kLedOff);
        context->fillCircle(cx, cy, r);
    }
    context->setFont(10, isOn());
    context->setFontColor(isOn() ? palette::kText : palette::kTextDim);
    context->drawString(title, CRect(size.left + 21, size.top, size.right - 4, size.bottom),
                        kLeftText);
}

bool COnOffButton::onMouseDown(CDrawContext*, int, int, int buttons) {
    if ((buttons & kLButton) == 0) return false;
    if ((buttons & kDoubleClick) != 0)
        commitValue(defaultValue);
    else
        commitValue(isOn() ? 0.0f : 1.0f);
    return false; // a switch acts on the press; its release belongs to nothing
}

bool COnOffButton::onKeyDown(const char* character, int virtualKey) {
    switch (virtualKey) {
    case kVKeyReturn:
        commitValue(isOn() ? 0.0f : 1.0f);
        return true;
    case kVKeyUp:
    case kVKeyRight:
        commitValue(1.0f);
        return true;
    case kVKeyDown:
    case kVKeyLeft:
        commitValue(0.0f);
        return true;
    case kVKeyBack:
    case kVKeyDelete:
        commitValue(defaultValue);
        return true;
    default:
        break;
    }
    if (character != nullptr && character[0] == ' ' && character[1] == '\0') {
        commitValue(isOn() ? 0.0f : 1.0f);
        return true;
    }
    return false;
}
