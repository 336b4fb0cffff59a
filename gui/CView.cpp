#include "gui/CView.h"

CView::CView(const CRect& size) : size(size), frame(nullptr), dirty(true), visible(true) {}

void CView::draw(CDrawContext*) {
    setDirty(false);
}

bool CView::onMouseDown(CDrawContext*, int, int, int) {
    return false;
}

bool CView::onKeyDown(const char*, int) {
    return false;
}

void CView::setVisible(bool state) {
    if (visible == state) return;
    visible = state;
    setDirty();
}

void CView::setViewSize(const CRect& newSize) {
    if (size == newSize) return;
    size = newSize;
    setDirty();
}
