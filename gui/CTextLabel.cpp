#include "gui/CTextLabel.h"

#include "gui/Palette.h"

#include <cstdio>
#include <cstring>

CTextLabel::CTextLabel(const CRect& size, const char* initial, Style style)
    : CView(size), style(style), fontSize(style == kHeading ? 8 : 10), bold(style == kHeading),
      color(style == kHeading ? palette::kTextDim : palette::kText), alignment(kLeftText) {
    std::snprintf(text, sizeof(text), "%s", initial != nullptr ? initial : "");
}

void CTextLabel::setText(const char* newText) {
    char bounded[kMaxText];
    std::snprintf(bounded, sizeof(bounded), "%s", newText != nullptr ? newText : "");
    if (std::strcmp(bounded, text) == 0) return;
    std::memcpy(text, bounded, sizeof(text));
    setDirty();
}

void CTextLabel::setFont(int pixelSize, bool state) {
    fontSize = pixelSize;
    bold = state;
    setDirty();
}

void CTextLabel::setFontColor(const CColor& newColor) {
    color = newColor;
    setDirty();
}

void CTextLabel::setAlignment(CHoriTxtAlign align) {
    alignment = align;
    setDirty();
}

void CTextLabel::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    context->setFont(fontSize, bold);
    context->setFontColor(color);
    context->drawString(text, size, alignment);
    if (style != kHeading) return;
    const int end = size.left + context->getStringWidth(text) + 6;
    if (end >= size.right) return;
    const int y = (size.top + size.bottom) / 2;
    context->setFrameColor(palette::kAccent.withAlpha(110));
    context->setLineWidth(1);
    context->drawLine(end, y, size.right - 1, y);
}
