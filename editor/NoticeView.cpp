#include "editor/NoticeView.h"

#include "gui/CDrawContext.h"

#include <cstdio>
#include <cstring>

namespace {

const CColor kShade(0, 0, 0, 150);
const CColor kPanel(244, 242, 236);
const CColor kPanelEdge(110, 110, 110);
const CColor kStop(196, 48, 38);
const CColor kTitle(20, 20, 20);
const CColor kMessage(40, 40, 40);
const CColor kCount(100, 100, 100);
const CColor kButton(52, 104, 184);
const CColor kButtonFocus(20, 60, 130);
const CColor kButtonText(255, 255, 255);

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xc0) == 0x80;
}

} // namespace

CNoticeView::CNoticeView(const CRect& size, CControlListener* listener, long tag)
    : CControl(size, listener, tag), count(0), focused(false) {
    text[0] = '\0';
}

void CNoticeView::setNotice(const char* newText, int newCount) {
    char bounded[kMaxText];
    std::snprintf(bounded, sizeof(bounded), "%s", newText != nullptr ? newText : "");
    if (newCount == count && std::strcmp(bounded, text) == 0) return;
    std::memcpy(text, bounded, sizeof(text));
    count = newCount;
    setDirty();
}

void CNoticeView::clearNotice() {
    setNotice("", 0);
}

CRect CNoticeView::getPanelRect() const {
    CRect panel = size;
    panel.inset(size.width() * 6 / 100, size.height() * 9 / 100);
    return panel;
}

CRect CNoticeView::getOkButtonRect() const {
    const CRect panel = getPanelRect();
    return CRect(panel.right - 16 - 72, panel.bottom - 12 - 24, panel.right - 16,
                 panel.bottom - 12);
}

void CNoticeView::takeFocus() {
    focused = true;
    setDirty();
}

void CNoticeView::looseFocus() {
    focused = false;
    setDirty();
}

bool CNoticeView::onMouseDown(CDrawContext*, int x, int y, int buttons) {
    // Everything under the notice is out of reach while it is shown.
    if ((buttons & kLButton) != 0 && hasNotice() && getOkButtonRect().pointInside(x, y))
        notifyListener();
    return true;
}

bool CNoticeView::onKeyDown(const char*, int virtualKey) {
    // Tab stays here: nothing under the notice is within reach while it is shown.
    if (virtualKey == kVKeyTab && hasNotice()) return true;
    if (virtualKey != kVKeyReturn || !hasNotice()) return false;
    notifyListener();
    return true;
}

int CNoticeView::drawWrapped(CDrawContext* context, const CRect& area, int lineHeight) {
    const int length = static_cast<int>(strnlen(text, sizeof(text)));
    const int maxLines = lineHeight > 0 ? area.height() / lineHeight : 0;
    int start = 0;
    int lines = 0;
    while (start < length && lines < maxLines) {
        while (start < length && text[start] == ' ')
            ++start;
        if (start >= length) break;
        // The longest piece that fits, broken after a space or a slash when there is one.
        int end = start;
        int lastBreak = -1;
        while (end < length) {
            int next = end + 1;
            while (next < length && isContinuation(text[next]))
                ++next;
            if (context->getStringWidth(text + start, next - start) > area.width()) break;
            end = next;
            if (text[end - 1] == ' ' || text[end - 1] == '/') lastBreak = end;
        }
        if (end == start) { // not even one character fits
            end = start + 1;
            while (end < length && isContinuation(text[end]))
                ++end;
        } else if (end < length && lastBreak > start) {
            end = lastBreak;
        }
        const bool last = lines == maxLines - 1;
        CRect line(area.left, area.top + lines * lineHeight, area.right,
                   area.top + (lines + 1) * lineHeight);
        if (last && end < length) {
            // No room left: show that the message goes on.
            char cut[kMaxText + 4];
            int kept = end - start;
            while (kept > 0 && context->getStringWidth(text + start, kept) +
                                       context->getStringWidth("\xe2\x80\xa6") >
                                   area.width())
                --kept;
            while (kept > 0 && isContinuation(text[start + kept]))
                --kept;
            std::memcpy(cut, text + start, static_cast<size_t>(kept));
            std::memcpy(cut + kept, "\xe2\x80\xa6", 4);
            context->drawString(cut, line, kLeftText);
        } else {
            context->drawString(text + start, line, kLeftText, end - start);
        }
        ++lines;
        start = end;
    }
    return lines;
}

void CNoticeView::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr || !hasNotice()) return;
    context->setFillColor(kShade);
    context->fillRect(size);

    const CRect panel = getPanelRect();
    context->setFillColor(kPanel);
    context->fillRoundRect(panel, 8);
    context->setFrameColor(kPanelEdge);
    context->setLineWidth(1);
    context->frameRoundRect(panel, 8);

    // The stop sign of an error alert.
    const CRect icon(panel.left + 14, panel.top + 14, panel.left + 46, panel.top + 46);
    context->setFillColor(kStop);
    context->fillEllipse(icon);
    context->setFont(22, true);
    context->setFontColor(kButtonText);
    context->drawString("!", icon, kCenterText);

    const int textLeft = icon.right + 12;
    const int textRight = panel.right - 16;
    context->setFont(13, true);
    context->setFontColor(kTitle);
    context->drawString("XeTetraVST", CRect(textLeft, panel.top + 12, textRight, panel.top + 30),
                        kLeftText);

    const CRect okButton = getOkButtonRect();
    int bottom = okButton.top - 6;
    if (count > 1) bottom -= 14;
    context->setFont(11);
    context->setFontColor(kMessage);
    const int lines = drawWrapped(context, CRect(textLeft, panel.top + 34, textRight, bottom), 14);
    if (count > 1) {
        char reported[48];
        std::snprintf(reported, sizeof(reported), "Reported %d times", count);
        context->setFont(10);
        context->setFontColor(kCount);
        const int top = panel.top + 34 + lines * 14 + 2;
        context->drawString(reported, CRect(textLeft, top, textRight, top + 14), kLeftText);
    }

    context->setFillColor(kButton);
    context->fillRoundRect(okButton, 5);
    if (focused) {
        CRect ring = okButton;
        ring.inset(-2, -2);
        context->setFrameColor(kButtonFocus);
        context->setLineWidth(2);
        context->frameRoundRect(ring, 7);
        context->setLineWidth(1);
    }
    context->setFont(11, true);
    context->setFontColor(kButtonText);
    context->drawString("OK", okButton, kCenterText);
}
