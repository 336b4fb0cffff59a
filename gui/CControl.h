#pragma once

#include "gui/CView.h"

class CControlListener;

// A view with a value the user changes; it tells its listener, which knows it by its tag.
class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0);

    long getTag() const { return tag; }
    void setTag(long newTag) { tag = newTag; }
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* newListener) { listener = newListener; }
    float getValue() const { return value; }
    // Marks the control for redraw when the value differs.
    void setValue(float newValue);

protected:
    // Tells the listener, handing it the frame's context when there is one.
    void notifyListener();

    CControlListener* listener;
    long tag;
    float value;
};
