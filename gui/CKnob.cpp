#include "gui/CKnob.h"

#include "gui/CDrawContext.h"
#include "gui/Palette.h"

#include <cmath>

namespace {
constexpr int kTitleHeight = 13;
constexpr int kValueHeight = 15;
constexpr double kStartDegrees = 135.0; // the low end, bottom left
constexpr double kSweepDegrees = 270.0;
} // namespace

CKnob::CKnob(const CRect& size, CControlListener* listener, long tag)
    : CDragControl(size, listener, tag) {}

double CKnob::angleOf(float value) {
    return kStartDegrees + kSweepDegrees * value;
}

void CKnob::getKnobCircle(double* cx, double* cy, double* radius) const {
    const int top = size.top + kTitleHeight;
    const int bottom = size.bottom - kValueHeight;
    double r = (bottom - top) / 2.0 - 1.0;
    if (r > size.width() / 2.0 - 4.0) r = size.width() / 2.0 - 4.0;
    *cx = (size.left + size.right) / 2.0;
    *cy = (top + bottom) / 2.0;
    *radius = r;
}

void CKnob::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    if (isFocused()) {
        context->setFrameColor(palette::kFocus);
        context->setLineWidth(1);
        context->frameRoundRect(size, 5);
    }
    context->setFont(9, true);
    context->setFontColor(palette::kTextDim);
    context->drawString(title, CRect(size.left, size.top + 1, size.right, size.top + kTitleHeight),
                        kCenterText);

    double cx = 0.0, cy = 0.0, r = 0.0;
    getKnobCircle(&cx, &cy, &r);
    const double track = r - 1.5;
    context->setLineWidth(3);
    context->setFrameColor(palette::kTrack);
    context->drawArc(cx, cy, track, kStartDegrees, kStartDegrees + kSweepDegrees);
    const double from = bipolar ? kStartDegrees + kSweepDegrees / 2.0 : kStartDegrees;
    const double to = angleOf(value);
    context->setFrameColor(palette::kAccent);
    if (to > from)
        context->drawArc(cx, cy, track, from, to);
    else if (from > to)
        context->drawArc(cx, cy, track, to, from);

    const double cap = r - 6.0;
    context->setFillColor(palette::kWellEdge);
    context->fillCircle(cx, cy + 1.0, cap + 1.0);
    context->fillShadedCircle(cx, cy, cap, palette::kKnobLight, palette::kKnobDark);
    const double radians = to * M_PI / 180.0;
    context->setLineWidth(2);
    context->setFrameColor(palette::kText);
    context->drawSegment(cx + std::cos(radians) * cap * 0.35, cy + std::sin(radians) * cap * 0.35,
                         cx + std::cos(radians) * (cap - 1.5),
                         cy + std::sin(radians) * (cap - 1.5));
    context->setLineWidth(1);

    context->setFont(10);
    context->setFontColor(palette::kText);
    context->drawString(displayText,
                        CRect(size.left, size.bottom - kValueHeight, size.right, size.bottom - 1),
                        kCenterText);
}
