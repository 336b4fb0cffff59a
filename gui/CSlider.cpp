#include "gui/CSlider.h"

#include "gui/CDrawContext.h"
#include "gui/Palette.h"

#include <cmath>

CSlider::CSlider(const CRect& size, CControlListener* listener, long tag)
    : CDragControl(size, listener, tag) {}

int CSlider::xOf(float position) const {
    const int inner = size.width() - 4;
    return size.left + 2 + static_cast<int>(std::lround(position * static_cast<float>(inner)));
}

void CSlider::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    context->setFillColor(palette::kWell);
    context->fillRoundRect(size, 3);
    context->setFrameColor(isFocused() ? palette::kFocus : palette::kWellEdge);
    context->setLineWidth(1);
    context->frameRoundRect(size, 3);

    const int from = xOf(bipolar ? 0.5f : 0.0f);
    const int to = xOf(value);
    const CRect bar(from < to ? from : to, size.top + 2, from < to ? to : from, size.bottom - 2);
    context->setFillColor(palette::kAccent.withAlpha(isDragging() ? 150 : 110));
    context->fillRect(bar);
    if (bipolar) {
        // The middle, marked at the edges only, clear of the text.
        context->setFillColor(palette::kAccent.withAlpha(220));
        context->fillRect(CRect(from, size.top + 2, from + 1, size.top + 5));
        context->fillRect(CRect(from, size.bottom - 5, from + 1, size.bottom - 2));
    }
    context->setFont(10, isFocused());
    context->setFontColor(palette::kText);
    context->drawString(displayText, size, kCenterText);
}
