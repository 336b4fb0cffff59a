#include "gui/CTextEdit.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

#include <cstring>

namespace {

void copyBounded(char* destination, const char* source, int size) {
    if (size <= 0) return;
    const size_t length = source != nullptr ? strnlen(source, static_cast<size_t>(size) - 1) : 0;
    if (length > 0) std::memcpy(destination, source, length);
    destination[length] = '\0';
}

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xc0) == 0x80;
}

} // namespace

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text,
                     CBitmap* background, long style)
    : CControl(size, listener, tag), editLength(0), caret(0), scroll(0), editing(false),
      background(background), style(style), frameColor(0, 0, 0), backColor(255, 255, 255),
      fontColor(0, 0, 0) {
    copyBounded(this->text, text, sizeof(this->text));
    editText[0] = '\0';
    editStart[0] = '\0';
}

void CTextEdit::setText(const char* newText) {
    char bounded[kMaxTextLength + 1];
    copyBounded(bounded, newText, sizeof(bounded));
    if (std::strcmp(bounded, text) == 0) return;
    std::memcpy(text, bounded, sizeof(text));
    if (!editing) setDirty();
}

void CTextEdit::getText(char* buffer, int size) const {
    copyBounded(buffer, text, size);
}

void CTextEdit::setFrameColor(const CColor& color) {
    if (color == frameColor) return;
    frameColor = color;
    setDirty();
}

void CTextEdit::setBackColor(const CColor& color) {
    if (color == backColor) return;
    backColor = color;
    setDirty();
}

void CTextEdit::setFontColor(const CColor& color) {
    if (color == fontColor) return;
    fontColor = color;
    setDirty();
}

void CTextEdit::beginEdit(int position) {
    if (editing) return;
    std::memcpy(editStart, text, sizeof(editStart));
    std::memcpy(editText, text, sizeof(editText));
    editLength = static_cast<int>(std::strlen(editText));
    if (position < 0) position = 0;
    if (position > editLength) position = editLength;
    while (position > 0 && position < editLength && isContinuation(editText[position]))
        --position;
    caret = position;
    scroll = 0;
    editing = true;
    setDirty();
}

void CTextEdit::endEdit(bool confirm) {
    if (!editing) return;
    editing = false;
    setDirty();
    if (!confirm || std::strcmp(editText, editStart) == 0) return;
    std::memcpy(text, editText, sizeof(text));
    notifyListener();
}

void CTextEdit::takeFocus() {
    beginEdit(kMaxTextLength);
}

void CTextEdit::looseFocus() {
    endEdit(true);
}

int CTextEdit::previousBoundary(int position) const {
    if (position <= 0) return 0;
    --position;
    while (position > 0 && isContinuation(editText[position]))
        --position;
    return position;
}

int CTextEdit::nextBoundary(int position) const {
    if (position >= editLength) return editLength;
    ++position;
    while (position < editLength && isContinuation(editText[position]))
        ++position;
    return position;
}

void CTextEdit::insert(const char* bytes) {
    const int length = static_cast<int>(strnlen(bytes, 8));
    if (length == 0 || editLength + length > kMaxTextLength) return;
    std::memmove(editText + caret + length, editText + caret,
                 static_cast<size_t>(editLength - caret + 1));
    std::memcpy(editText + caret, bytes, static_cast<size_t>(length));
    editLength += length;
    caret += length;
}

void CTextEdit::eraseBefore() {
    const int start = previousBoundary(caret);
    std::memmove(editText + start, editText + caret, static_cast<size_t>(editLength - caret + 1));
    editLength -= caret - start;
    caret = start;
}

void CTextEdit::eraseAfter() {
    const int end = nextBoundary(caret);
    std::memmove(editText + caret, editText + end, static_cast<size_t>(editLength - end + 1));
    editLength -= end - caret;
}

bool CTextEdit::onKeyDown(const char* character, int virtualKey) {
    if (!editing) return false;
    switch (virtualKey) {
    case kVKeyReturn:
        endEdit(true);
        return true;
    case kVKeyEscape:
        endEdit(false);
        return true;
    case kVKeyBack:
        eraseBefore();
        break;
    case kVKeyDelete:
        eraseAfter();
        break;
    case kVKeyLeft:
        caret = previousBoundary(caret);
        break;
    case kVKeyRight:
        caret = nextBoundary(caret);
        break;
    case kVKeyHome:
    case kVKeyUp:
        caret = 0;
        break;
    case kVKeyEnd:
    case kVKeyDown:
        caret = editLength;
        break;
    default: {
        if (character == nullptr) return false;
        // Printable text only: control bytes would end up in program names.
        const unsigned char first = static_cast<unsigned char>(character[0]);
        if (first < 0x20 || first == 0x7f) return false;
        insert(character);
        break;
    }
    }
    setDirty();
    return true;
}

int CTextEdit::caretFromX(CDrawContext* context, int x) const {
    if (context == nullptr) return editLength;
    context->setFont(kFontSize);
    const int origin = size.left + kTextInset - scroll;
    int best = 0;
    int bestDistance = -1;
    for (int position = 0;; position = nextBoundary(position)) {
        const int distance = x - (origin + context->getStringWidth(editText, position));
        const int absolute = distance < 0 ? -distance : distance;
        if (bestDistance < 0 || absolute < bestDistance) {
            best = position;
            bestDistance = absolute;
        }
        if (position >= editLength) break;
    }
    return best;
}

bool CTextEdit::onMouseDown(CDrawContext* context, int x, int, int buttons) {
    if ((buttons & kLButton) == 0) return false;
    if (!editing) beginEdit(0);
    caret = caretFromX(context, x);
    setDirty();
    return true;
}

void CTextEdit::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    if (background != nullptr) background->draw(context, size);
    context->setFillColor(backColor);
    context->fillRect(size);
    context->setFrameColor(frameColor);
    context->setLineWidth(1);
    context->frameRect(size);

    CRect inner = size;
    inner.inset(kTextInset, 0);
    context->setFont(kFontSize);
    context->setFontColor(fontColor);
    const char* shown = editing ? editText : text;
    if (!editing) {
        context->drawString(shown, inner, kLeftText);
        return;
    }
    // While editing, a light box shows the field is live, and the text scrolls left when the
    // caret would leave the field.
    context->setFillColor(CColor(255, 255, 255, 60));
    context->fillRect(size);
    const int caretX = context->getStringWidth(editText, caret);
    if (caretX - scroll > inner.width() - 1) scroll = caretX - (inner.width() - 1);
    if (caretX < scroll) scroll = caretX;
    CRect textRect(inner.left - scroll, inner.top, inner.right + 4096, inner.bottom);
    context->pushClip(inner);
    context->drawString(editText, textRect, kLeftText);
    context->popClip();
    context->setFrameColor(fontColor);
    const int x = inner.left + caretX - scroll;
    context->drawLine(x, size.top + 2, x, size.bottom - 3);
}
