#pragma once

#include "gui/CDragControl.h"

// A round knob: its title above, the value as an arc over 270 degrees, the display text below.
class CKnob : public CDragControl {
public:
    CKnob(const CRect& size, CControlListener* listener, long tag);

    void draw(CDrawContext* context) override;
    // Where the knob's disc is, in frame coordinates.
    void getKnobCircle(double* cx, double* cy, double* radius) const;
    // The angle (degrees clockwise from pointing right) the pointer shows for a value.
    static double angleOf(float value);
};
