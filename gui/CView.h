#pragma once

#include "gui/CRect.h"

#include <atomic>

class CDrawContext;
class CFrame;

// Keys a view is told about apart from the text they type.
enum CVirtualKey {
    kVKeyNone = 0,
    kVKeyBack,
    kVKeyDelete,
    kVKeyLeft,
    kVKeyRight,
    kVKeyUp,
    kVKeyDown,
    kVKeyHome,
    kVKeyEnd,
    kVKeyReturn,
    kVKeyEscape,
    kVKeyTab,
    kVKeyPageUp,
    kVKeyPageDown,
};

// The buttons of a mouse event and the modifiers held with it; keys get the modifiers from
// their frame (CFrame::getModifiers).
enum CMouseButton {
    kLButton = 1,
    kMButton = 2,
    kRButton = 4,
    kShift = 8,
    kControl = 16,
    kAlt = 32,
    kDoubleClick = 64, // the second press of a double click
};

// A rectangle of a frame that draws itself and may take clicks and keys.
class CView {
public:
    explicit CView(const CRect& size);
    virtual ~CView() = default;
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    virtual void draw(CDrawContext* context);
    // Each returns true when the view used the event. Positions are in frame coordinates.
    // A view that takes a press gets the moves and the release of that button, wherever the
    // pointer goes.
    virtual bool onMouseDown(CDrawContext* context, int x, int y, int buttons);
    virtual bool onMouseMoved(CDrawContext* context, int x, int y, int buttons);
    virtual bool onMouseUp(CDrawContext* context, int x, int y, int buttons);
    // distance: wheel steps, positive away from the user.
    virtual bool onWheel(CDrawContext* context, int x, int y, float distance, int buttons);
    // character holds the UTF-8 bytes a key typed ("" for none); virtualKey a CVirtualKey.
    virtual bool onKeyDown(const char* character, int virtualKey);
    virtual bool hitTest(int x, int y) const { return size.pointInside(x, y); }
    // A view that wants keys after a click on it, and that Tab stops at.
    virtual bool wantsFocus() const { return false; }
    // Both redraw the view, to show or hide where the keys go.
    virtual void takeFocus() { setDirty(); }
    virtual void looseFocus() { setDirty(); }
    // True while the frame sends this view the keys.
    bool isFocused() const;

    // Safe from any thread: the frame picks it up at its next idle.
    void setDirty(bool state = true) { dirty.store(state, std::memory_order_relaxed); }
    bool isDirty() const { return dirty.load(std::memory_order_relaxed); }
    void setVisible(bool state);
    bool isVisible() const { return visible; }
    const CRect& getViewSize() const { return size; }
    void setViewSize(const CRect& newSize);

    CFrame* getFrame() const { return frame; }
    // Called by the frame when the view is added (its frame) or removed (null).
    void attached(CFrame* parent) { frame = parent; }

protected:
    // The modifiers (kShift, kControl, kAlt) of the frame's latest event; 0 without a frame.
    int currentModifiers() const;

    CRect size;
    CFrame* frame;

private:
    std::atomic<bool> dirty;
    bool visible;
};
