#pragma once

#include "gui/CControl.h"

// A row of tabs of which one is chosen: a click picks one, Left and Right (Up, Down) move to the
// neighbour, Home and End to the ends. With n tabs, tab i is value i / (n - 1).
class CSegmentButton : public CControl {
public:
    static constexpr int kMaxSegments = 8;
    static constexpr int kMaxText = 32;

    CSegmentButton(const CRect& size, CControlListener* listener, long tag);

    void addSegment(const char* label);
    int getNbSegments() const { return count; }
    int getSelected() const { return stepOf(value, count); }
    // Where tab i is, in frame coordinates.
    CRect getSegmentRect(int index) const;

    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;
    bool wantsFocus() const override { return true; }

private:
    void select(int index);

    char labels[kMaxSegments][kMaxText];
    int count;
};
