#include "gui/CRect.h"

bool CRect::pointInside(int x, int y) const {
    return x >= left && x < right && y >= top && y < bottom;
}

bool CRect::intersects(const CRect& other) const {
    return !isEmpty() && !other.isEmpty() && left < other.right && other.left < right &&
           top < other.bottom && other.top < bottom;
}

CRect CRect::united(const CRect& other) const {
    if (other.isEmpty()) return *this;
    if (isEmpty()) return other;
    return CRect(left < other.left ? left : other.left, top < other.top ? top : other.top,
                 right > other.right ? right : other.right,
                 bottom > other.bottom ? bottom : other.bottom);
}

CRect CRect::intersection(const CRect& other) const {
    if (!intersects(other)) return CRect();
    return CRect(left > other.left ? left : other.left, top > other.top ? top : other.top,
                 right < other.right ? right : other.right,
                 bottom < other.bottom ? bottom : other.bottom);
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
