#pragma once

#include "gui/CView.h"

#include <vector>

class CBitmap;

// The top view of an editor: a child window of the host's window, with its own connection to the
// display, drawn from an offscreen picture. It handles the window's events and redraws only the
// parts that changed, only in idle, which never waits. Without a host window it works offscreen
// alone. Besides its views it may show one popup (an open menu) over them.
class CFrame : public CView {
public:
    // systemWindow is the host's window (an X11 window id) or null; editor is handed back by
    // getEditor. The display connection is opened here, not earlier.
    CFrame(const CRect& size, void* systemWindow, void* editor);
    // Deletes the popup and the child views; an edit in progress is dropped without telling
    // anyone (release the mouse first to end a drag properly).
    ~CFrame() override;

    // True when the child window exists.
    bool hasWindow() const;
    // The child window's id, 0 without one.
    unsigned long getWindowId() const;

    // Drawn under every view; the frame does not own it.
    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }
    // The frame owns the views added and deletes them; the last added is on top.
    bool addView(CView* view);
    bool removeView(CView* view, bool withDelete = true);
    int getNbViews() const { return static_cast<int>(views.size()); }
    CView* getView(int index) const;

    // The view that gets the keys; the one that had them loses them first.
    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView; }
    // Moves the keys to the next view that takes them (the previous one when backwards), in
    // the order the views were added, skipping hidden ones; Tab and Shift-Tab do this.
    void advanceFocus(bool backwards);

    // Shows popup over every view until closePopup; the frame owns it. While it is open it
    // gets every key and every click inside it; a click outside closes it.
    void openPopup(CView* popup);
    // Safe from the popup's own handlers: the popup is deleted once they have returned.
    void closePopup();
    CView* getPopup() const { return popup; }

    // The view holding the mouse since a press, or null.
    // Ends a press in progress as if the button were let go where it was pressed.
    void releaseMouse();

    // Modifiers (kShift, kControl, kAlt) of the latest event; set by the window's events, and
    // by callers that drive the frame themselves.
    int getModifiers() const { return modifiers; }
    void setModifiers(int state) { modifiers = state; }

    // Marks a part of the frame for redraw at the next idle (a view's old place when it moves).
    void invalidRect(const CRect& rect);

    // Handles every pending window event, then redraws what is dirty.
    void idle();
    // Draws everything.
    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onMouseMoved(CDrawContext* context, int x, int y, int buttons) override;
    bool onMouseUp(CDrawContext* context, int x, int y, int buttons) override;
    bool onWheel(CDrawContext* context, int x, int y, float distance, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;

    // The offscreen picture views draw into.
    CDrawContext* getDrawContext() const { return context; }
    void* getEditor() const { return editor; }

    struct Impl; // the window system's side

private:
    // The parts to redraw, merged where they overlap; the whole frame when it is dirty itself.
    void collectDamage();
    void drawRect(CDrawContext* target, const CRect& rect);
    void deleteRetiredPopup();
    void handleEvents();

    Impl* impl;
    CDrawContext* context;
    CBitmap* background;
    std::vector<CView*> views;
    std::vector<CRect> damage; // parts to redraw besides the dirty views
    CView* focusView;
    CView* mouseView;
    int mouseButton;
    CView* popup;
    CView* retiredPopup;
    int modifiers;
    void* editor;
};
