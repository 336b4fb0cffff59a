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
};

enum CMouseButton { kLButton = 1, kMButton = 2, kRButton = 4 };

// A rectangle of a frame that draws itself and may take clicks and keys.
class CView {
public:
    explicit CView(const CRect& size);
    virtual ~CView() = default;
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    virtual void draw(CDrawContext* context);
    // Each returns true when the view used the event. A click is in frame coordinates.
    virtual bool onMouseDown(CDrawContext* context, int x, int y, int buttons);
    // character holds the UTF-8 bytes a key typed ("" for none); virtualKey a CVirtualKey.
    virtual bool onKeyDown(const char* character, int virtualKey);
    virtual bool hitTest(int x, int y) const { return size.pointInside(x, y); }
    // A view that wants keys after a click on it.
    virtual bool wantsFocus() const { return false; }
    virtual void takeFocus() {}
    virtual void looseFocus() {}

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
    CRect size;
    CFrame* frame;

private:
    std::atomic<bool> dirty;
    bool visible;
};
