#pragma once

#include "gui/CView.h"

class CControlListener;

// A view with a value in 0..1 the user changes; it tells its listener, which knows it by its tag.
class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0);
    ~CControl() override;

    long getTag() const { return tag; }
    void setTag(long newTag) { tag = newTag; }
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* newListener) { listener = newListener; }
    float getValue() const { return value; }
    // Shows a value set from outside (no listener is told); marks the control for redraw when
    // it differs. Clamped to 0..1; a value that is not a number is ignored.
    void setValue(float newValue);
    // The value a double click (or Backspace) goes back to.
    void setDefaultValue(float newValue);
    // True between the press that took hold of the control and its release.
    bool isInGesture() const { return gestureDepth > 0; }

    // A value of `steps` choices: choice i is i / (steps - 1), and a value belongs to the
    // choice below it (truncated), so that every choice's value comes back as that choice.
    static float valueOfStep(int step, int steps);
    static int stepOf(float value, int steps);
    // The choice a key moves to from `selected` of `steps` (before clamping): Left and Up the one
    // before, Right and Down the one after, Home and End the ends. False for any other key.
    static bool stepForKey(int virtualKey, int selected, int steps, int& step);

protected:
    // Tells the listener, handing it the frame's context when there is one.
    void notifyListener();
    void beginGesture();
    void endGesture();
    // Within a gesture: takes the value (clamped) and tells the listener, when it differs.
    bool applyValue(float newValue);
    // A gesture of its own around applyValue, when the value differs.
    bool commitValue(float newValue);

    CControlListener* listener;
    long tag;
    float value;
    float defaultValue;

private:
    int gestureDepth;
};
