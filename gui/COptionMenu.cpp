#include "gui/COptionMenu.h"

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/Palette.h"

#include <cstdio>
#include <cstring>

// The open list, shown by the frame over every view.
class COptionMenu::CList : public CView {
public:
    CList(const CRect& size, COptionMenu* owner)
        : CView(size), owner(owner), highlighted(owner->getCurrent()) {}
    ~CList() override {
        if (owner != nullptr && owner->list == this) owner->list = nullptr;
    }
    // The menu is going away before the frame deletes this closed list.
    void forgetOwner() { owner = nullptr; }

    int entryAt(int y) const {
        const int index = (y - size.top - 3) / kEntryHeight;
        return y >= size.top + 3 && index < owner->count ? index : -1;
    }
    int highlightedEntry() const { return highlighted; }

    void draw(CDrawContext* context) override {
        setDirty(false);
        if (context == nullptr) return;
        context->setFillColor(CColor(0, 0, 0, 90));
        context->fillRoundRect(CRect(size.left + 2, size.top + 3, size.right, size.bottom), 4);
        const CRect panel(size.left, size.top, size.right - 2, size.bottom - 3);
        context->setFillColor(CColor(0x26, 0x28, 0x2d));
        context->fillRoundRect(panel, 4);
        context->setFrameColor(palette::kFaceEdge);
        context->setLineWidth(1);
        context->frameRoundRect(panel, 4);
        const int current = owner->getCurrent();
        for (int i = 0; i < owner->count; ++i) {
            const CRect row(panel.left + 2, panel.top + 2 + i * kEntryHeight, panel.right - 2,
                            panel.top + 2 + (i + 1) * kEntryHeight);
            const bool lit = i == highlighted;
            if (lit) {
                context->setFillColor(palette::kAccent);
                context->fillRoundRect(row, 3);
            }
            context->setFont(10, i == current);
            context->setFontColor(lit ? palette::kTextOnAccent : palette::kText);
            if (i == current) context->drawString("\xe2\x9c\x93", row, kLeftText); // check mark
            context->drawString(owner->entries[i],
                                CRect(row.left + 16, row.top, row.right - 4, row.bottom),
                                kLeftText);
        }
    }
    bool onMouseMoved(CDrawContext*, int, int y, int) override {
        const int index = entryAt(y);
        if (index >= 0 && index != highlighted) {
            highlighted = index;
            setDirty();
        }
        return true;
    }
    bool onMouseDown(CDrawContext*, int, int y, int buttons) override {
        const int index = entryAt(y);
        if ((buttons & kLButton) == 0 || index < 0) return true;
        pick(index);
        return true;
    }
    bool onWheel(CDrawContext*, int, int, float distance, int) override {
        move(distance > 0.0f ? -1 : 1);
        return true;
    }
    bool onKeyDown(const char* character, int virtualKey) override {
        switch (virtualKey) {
        case kVKeyUp:
            move(-1);
            return true;
        case kVKeyDown:
            move(1);
            return true;
        case kVKeyHome:
            move(-owner->count);
            return true;
        case kVKeyEnd:
            move(owner->count);
            return true;
        case kVKeyReturn:
            pick(highlighted);
            return true;
        case kVKeyEscape:
        case kVKeyTab:
            close();
            return true;
        default:
            break;
        }
        if (character != nullptr && character[0] == ' ' && character[1] == '\0') pick(highlighted);
        return true; // an open menu takes every key
    }

private:
    void move(int by) {
        int next = highlighted + by;
        if (next < 0) next = 0;
        if (next > owner->count - 1) next = owner->count - 1;
        if (next == highlighted) return;
        highlighted = next;
        setDirty();
    }
    void pick(int index) {
        COptionMenu* menu = owner;
        close();
        if (index >= 0) menu->select(index);
    }
    void close() {
        owner->list = nullptr;
        owner->setDirty();
        if (frame != nullptr) frame->closePopup(); // deletes this once the handler returns
    }

    COptionMenu* owner;
    int highlighted;
};

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, long tag)
    : CControl(size, listener, tag), count(0), steps(2), list(nullptr) {
    faceText[0] = '\0';
}

COptionMenu::~COptionMenu() {
    if (list != nullptr) {
        CList* open = list;
        list = nullptr;
        open->forgetOwner();
        if (frame != nullptr && frame->getPopup() == open) frame->closePopup();
    }
}

void COptionMenu::setEntry(int index, const char* text) {
    if (index < 0 || index >= kMaxEntries) return;
    char bounded[kMaxText];
    std::snprintf(bounded, sizeof(bounded), "%s", text != nullptr ? text : "");
    if (index < count && std::strcmp(bounded, entries[index]) == 0) return;
    std::memcpy(entries[index], bounded, sizeof(bounded));
    if (index >= count) count = index + 1;
    setDirty();
    if (list != nullptr) list->setDirty();
}

void COptionMenu::setNbEntries(int newCount) {
    if (newCount < 0) newCount = 0;
    if (newCount > kMaxEntries) newCount = kMaxEntries;
    for (int i = count; i < newCount; ++i)
        entries[i][0] = '\0';
    if (newCount == count) return;
    count = newCount;
    setDirty();
}

const char* COptionMenu::getEntry(int index) const {
    return index >= 0 && index < count ? entries[index] : "";
}

void COptionMenu::setSteps(int newSteps) {
    steps = newSteps < 2 ? 2 : newSteps;
    setDirty();
}

void COptionMenu::setFaceText(const char* text) {
    char bounded[kMaxText];
    std::snprintf(bounded, sizeof(bounded), "%s", text != nullptr ? text : "");
    if (std::strcmp(bounded, faceText) == 0) return;
    std::memcpy(faceText, bounded, sizeof(faceText));
    setDirty();
}

bool COptionMenu::isListOpen() const {
    // The frame closes the list by itself when a click lands beside it.
    return list != nullptr && frame != nullptr && frame->getPopup() == list;
}

CRect COptionMenu::getListRect() const {
    // As wide as the longest entry needs, and never narrower than the menu.
    int width = size.width();
    if (frame != nullptr && frame->getDrawContext() != nullptr) {
        CDrawContext* measure = frame->getDrawContext();
        measure->setFont(10, true);
        for (int i = 0; i < count; ++i) {
            const int needed = measure->getStringWidth(entries[i]) + 16 + 14;
            if (needed > width) width = needed;
        }
    }
    if (frame != nullptr && width > frame->getViewSize().width())
        width = frame->getViewSize().width();
    const int height = count * kEntryHeight + 4 + 3;
    CRect rect(size.left, size.bottom + 2, size.left + width, size.bottom + 2 + height);
    if (frame == nullptr) return rect;
    const CRect bounds = frame->getViewSize();
    // Above the menu when there is no room below; within the window either way.
    if (rect.bottom > bounds.bottom && size.top - 2 - height >= bounds.top)
        rect = CRect(rect.left, size.top - 2 - height, rect.right, size.top - 2);
    if (rect.right > bounds.right) rect.offset(bounds.right - rect.right, 0);
    if (rect.bottom > bounds.bottom) rect.offset(0, bounds.bottom - rect.bottom);
    return rect;
}

void COptionMenu::openList() {
    if (frame == nullptr || count == 0 || isListOpen()) return;
    list = new CList(getListRect(), this);
    frame->openPopup(list);
    setDirty();
}

void COptionMenu::select(int index) {
    if (index < 0 || index >= count) return;
    commitValue(valueOfStep(index, steps));
}

void COptionMenu::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    context->setFillColor(isListOpen() ? palette::kFaceHover : palette::kFace);
    context->fillRoundRect(size, 4);
    context->setFrameColor(isFocused() ? palette::kFocus : palette::kFaceEdge);
    context->setLineWidth(1);
    context->frameRoundRect(size, 4);
    const char* shown = faceText[0] != '\0' ? faceText : getEntry(getCurrent());
    context->setFont(10);
    context->setFontColor(palette::kText);
    context->drawString(shown, CRect(size.left + 7, size.top, size.right - 16, size.bottom),
                        kLeftText);
    // The small triangle that says "menu".
    const double cx = size.right - 9.5, cy = (size.top + size.bottom) / 2.0 + 1.0;
    context->setFrameColor(palette::kAccent);
    context->setLineWidth(2);
    context->drawSegment(cx - 3.5, cy - 2.0, cx, cy + 1.5);
    context->drawSegment(cx, cy + 1.5, cx + 3.5, cy - 2.0);
    context->setLineWidth(1);
}

bool COptionMenu::onMouseDown(CDrawContext*, int, int, int buttons) {
    if ((buttons & kLButton) == 0) return false;
    openList();
    return false;
}

bool COptionMenu::onKeyDown(const char* character, int virtualKey) {
    switch (virtualKey) {
    case kVKeyUp:
    case kVKeyLeft:
        if (getCurrent() > 0) select(getCurrent() - 1 < count ? getCurrent() - 1 : count - 1);
        return true;
    case kVKeyDown:
    case kVKeyRight:
        if (getCurrent() + 1 < count) select(getCurrent() + 1);
        return true;
    case kVKeyReturn:
        openList();
        return true;
    default:
        break;
    }
    if (character != nullptr && character[0] == ' ' && character[1] == '\0') {
        openList();
        return true;
    }
    return false;
}
