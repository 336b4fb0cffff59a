#pragma once

class CControl;
class CDrawContext;

// Told when a control's value changes through the user. A change is made inside a gesture:
// controlBeginEdit when the user takes hold of the control (a press, a key), then one
// valueChanged per change, then controlEndEdit when the user lets go.
class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
    virtual long controlModifierClicked(CDrawContext* context, CControl* control, long button);
    virtual void controlBeginEdit(CControl* control);
    virtual void controlEndEdit(CControl* control);
};
