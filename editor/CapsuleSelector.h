#pragma once

#include "gui/CControl.h"

// The microphone's four capsules as a tetrahedron seen from behind and above, each where it
// points: a click on a capsule chooses it, the arrow keys step through them and the digits 1 to
// 4 pick one. With four capsules, capsule c (from 0) is value c / 3.
class CCapsuleSelector : public CControl {
public:
    static constexpr int kCapsules = 4;

    CCapsuleSelector(const CRect& size, CControlListener* listener, long tag);

    int getSelected() const { return stepOf(value, kCapsules); }
    // Where capsule c is drawn, in frame coordinates.
    void getCapsulePoint(int capsule, double* x, double* y) const;

    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;
    bool wantsFocus() const override { return true; }

private:
    void select(int capsule);
    // Screen position and depth (larger is farther from the viewer) of a direction.
    void project(const double direction[3], double* x, double* y, double* depth) const;
};
