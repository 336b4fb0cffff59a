#include "gui/CRect.h"

bool CRect::pointInside(int x, int y) const {
    return x >= left && x < right && y >= top && y < bottom;
}

CRect& CRect::offset(int x, int y) {
    left += x;
    right += x;
    top += y;
    bottom += y;
    return *this;
}

CRect& CRect::inset(int dx, int dy) {
    left += dx;
    right -= dx;
    top += dy;
    bottom -= dy;
    return *this;
}

bool CRect::operator==(const CRect& other) const {
    return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
}
