#pragma once

#include "gui/CDragControl.h"

// A compact value box: a bar filled to the value (from the middle when bipolar) with the display
// text over it. Adjusted like a knob.
class CSlider : public CDragControl {
public:
    CSlider(const CRect& size, CControlListener* listener, long tag);

    void draw(CDrawContext* context) override;
    // The x position the bar reaches for a value.
    int xOf(float value) const;
};
