#include "gui/CView.h"

#include "gui/CFrame.h"

CView::CView(const CRect& size) : size(size), frame(nullptr), dirty(true), visible(true) {}

void CView::draw(CDrawContext*) {
    setDirty(false);
}

bool CView::onMouseDown(CDrawContext*, int, int, int) {
    return false;
}

bool CView::onMouseMoved(CDrawContext*, int, int, int) {
    return false;
}

bool CView::onMouseUp(CDrawContext*, int, int, int) {
    return false;
}

bool CView::onWheel(CDrawContext*, int, int, float, int) {
    return false;
}

bool CView::onKeyDown(const char*, int) {
    return false;
}

bool CView::isFocused() const {
    return frame != nullptr && frame->getFocusView() == this;
}

int CView::currentModifiers() const {
    return frame != nullptr ? frame->getModifiers() : 0;
}

void CView::setVisible(bool state) {
    if (visible == state) return;
    visible = state;
    setDirty();
}

void CView::setViewSize(const CRect& newSize) {
    if (size == newSize) return;
    if (frame != nullptr) frame->invalidRect(size); // where it was
    size = newSize;
    setDirty();
}
