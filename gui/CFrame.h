#pragma once

#include "gui/CView.h"

#include <vector>

class CBitmap;

// The top view of an editor: a child window of the host's window, with its own connection to the
// display, drawn from an offscreen picture. It handles the window's events and redraws dirty views
// only in idle, which never waits. Without a host window it works offscreen alone.
class CFrame : public CView {
public:
    // systemWindow is the host's window (an X11 window id) or null; editor is handed back by
    // getEditor. The display connection is opened here, not earlier.
    CFrame(const CRect& size, void* systemWindow, void* editor);
    // Deletes the child views; an edit in progress is dropped without telling anyone.
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

    // Handles every pending window event, then redraws when anything is dirty.
    void idle();
    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;

    // The offscreen picture views draw into.
    CDrawContext* getDrawContext() const { return context; }
    void* getEditor() const { return editor; }

    struct Impl; // the window system's side

private:
    bool needsRedraw() const;

    Impl* impl;
    CDrawContext* context;
    CBitmap* background;
    std::vector<CView*> views;
    CView* focusView;
    void* editor;
};
