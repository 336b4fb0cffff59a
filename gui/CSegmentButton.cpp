#include "gui/CSegmentButton.h"

#include "gui/CDrawContext.h"
#include "gui/Palette.h"

#include <cstdio>

CSegmentButton::CSegmentButton(const CRect& size, CControlListener* listener, long tag)
    : CControl(size, listener, tag), count(0) {}

void CSegmentButton::addSegment(const char* label) {
    if (count >= kMaxSegments) return;
    std::snprintf(labels[count], kMaxText, "%s", label != nullptr ? label : "");
    ++count;
    setDirty();
}

CRect CSegmentButton::getSegmentRect(int index) const {
    if (count <= 0) return CRect();
    const int left = size.left + size.width() * index / count;
    const int right = size.left + size.width() * (index + 1) / count;
    return CRect(left, size.top, right, size.bottom);
}

void CSegmentButton::select(int index) {
    if (count <= 0) return;
    if (index < 0) index = 0;
    if (index > count - 1) index = count - 1;
    commitValue(valueOfStep(index, count));
}

void CSegmentButton::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    const int selected = getSelected();
    for (int i = 0; i < count; ++i) {
        CRect tab = getSegmentRect(i);
        tab.inset(1, 0);
        const bool chosen = i == selected;
        // Tabs are open at the bottom, into the panel they choose.
        const CRect face(tab.left, tab.top + (chosen ? 0 : 3), tab.right, tab.bottom + 4);
        context->pushClip(CRect(tab.left, tab.top, tab.right, tab.bottom));
        context->setFillColor(chosen ? palette::kPanel : CColor(0x1f, 0x20, 0x24));
        context->fillRoundRect(face, 5);
        context->setFrameColor(chosen ? palette::kPanelEdge : CColor(0x33, 0x35, 0x3b));
        context->setLineWidth(1);
        context->frameRoundRect(face, 5);
        if (chosen) {
            context->setFillColor(palette::kAccent);
            context->fillRect(CRect(face.left + 4, face.top + 1, face.right - 4, face.top + 3));
        }
        context->popClip();
        context->setFont(10, true);
        context->setFontColor(chosen ? palette::kText : palette::kTextDim);
        context->drawString(labels[i], CRect(tab.left, tab.top + 3, tab.right, tab.bottom),
                            kCenterText);
    }
    if (isFocused() && selected < count) {
        CRect ring = getSegmentRect(selected);
        ring.inset(4, 5);
        ring.top += 2;
        context->setFrameColor(palette::kFocus);
        context->setLineWidth(1);
        context->frameRoundRect(ring, 3);
    }
}

bool CSegmentButton::onMouseDown(CDrawContext*, int x, int y, int buttons) {
    if ((buttons & kLButton) == 0) return false;
    for (int i = 0; i < count; ++i)
        if (getSegmentRect(i).pointInside(x, y)) select(i);
    return false;
}

bool CSegmentButton::onKeyDown(const char*, int virtualKey) {
    int step = 0;
    if (!stepForKey(virtualKey, getSelected(), count, step)) return false;
    select(step);
    return true;
}
