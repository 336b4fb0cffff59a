#pragma once

// A rectangle in view coordinates: left and top inside, right and bottom just outside.
class CRect {
public:
    constexpr CRect() : left(0), top(0), right(0), bottom(0) {}
    constexpr CRect(int left, int top, int right, int bottom)
        : left(left), top(top), right(right), bottom(bottom) {}

    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr int centerX() const { return (left + right) / 2; }
    constexpr int centerY() const { return (top + bottom) / 2; }
    bool pointInside(int x, int y) const;
    // True when the two share at least one pixel.
    bool intersects(const CRect& other) const;
    // The smallest rectangle holding both; an empty one adds nothing.
    CRect united(const CRect& other) const;
    // The part both share (empty when none).
    CRect intersection(const CRect& other) const;
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
