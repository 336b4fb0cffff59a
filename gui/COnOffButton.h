#pragma once

#include "gui/CControl.h"

// A switch with a light and its title: a click, Space or Return toggles it, Up or Right switches
// it on, Down or Left off; a double click or Backspace goes back to the default value.
class COnOffButton : public CControl {
public:
    static constexpr int kMaxText = 48;

    COnOffButton(const CRect& size, CControlListener* listener, long tag, const char* title);

    bool isOn() const { return value > 0.5f; }
    const char* getTitle() const { return title; }

    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;
    bool wantsFocus() const override { return true; }
    // Where the light is, in frame coordinates.
    void getLightCircle(double* cx, double* cy, double* radius) const;

private:
    char title[kMaxText];
};
