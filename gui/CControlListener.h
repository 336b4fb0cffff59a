#pragma once

class CControl;
class CDrawContext;

// Told when a control's value changes through the user.
class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
    virtual long controlModifierClicked(CDrawContext* context, CControl* control, long button);
};
