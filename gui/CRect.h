#pragma once

// A rectangle in view coordinates: left and top inside, right and bottom just outside.
class CRect {
public:
    CRect() : left(0), top(0), right(0), bottom(0) {}
    CRect(int left, int top, int right, int bottom)
        : left(left), top(top), right(right), bottom(bottom) {}

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool pointInside(int x, int y) const;
    CRect& offset(int x, int y);
    // Moves every edge inwards by dx and dy (outwards when negative).
    CRect& inset(int dx, int dy);
    bool operator==(const CRect& other) const;
    bool operator!=(const CRect& other) const { return !(*this == other); }

    int left;
    int top;
    int right;
    int bottom;
};
