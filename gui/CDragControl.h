#pragma once

#include "gui/CControl.h"

// A control with a continuous value: a drag (up or right raises it), the wheel and the arrow keys
// adjust it, Shift makes each of them ten times finer, Page Up and Page Down take ten steps, Home
// and End go to the ends, and a double click or Backspace goes back to the default value. It
// shows a title and a display text that its owner keeps up to date (the value as users read it).
class CDragControl : public CControl {
public:
    static constexpr int kDragPixels = 200; // a drag over the whole range
    static constexpr float kStep = 0.01f;   // one wheel step or arrow key
    static constexpr float kFine = 0.1f;    // with Shift
    static constexpr int kMaxText = 48;

    CDragControl(const CRect& size, CControlListener* listener, long tag);

    void setTitle(const char* text);
    const char* getTitle() const { return title; }
    // Marks the control for redraw when the text differs.
    void setDisplayText(const char* text);
    // A value drawn from the middle (gains), rather than from the low end.
    void setBipolar(bool state);
    bool isDragging() const { return dragging; }

    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onMouseMoved(CDrawContext* context, int x, int y, int buttons) override;
    bool onMouseUp(CDrawContext* context, int x, int y, int buttons) override;
    bool onWheel(CDrawContext* context, int x, int y, float distance, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;
    bool wantsFocus() const override { return true; }

protected:
    char title[kMaxText];
    char displayText[kMaxText];
    bool bipolar;

private:
    bool dragging;
    int lastX;
    int lastY;
};
