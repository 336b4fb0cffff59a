#pragma once

#include "gui/CControl.h"

// A menu of named choices: the closed menu shows the chosen entry (or a text of its own); a
// click, Return or Space opens the list over everything, where a click or Return picks an entry
// and Escape or a click elsewhere closes it. Up and Down on the closed menu pick the neighbour.
// With `steps` choices, entry i is value i / (steps - 1): a menu may list fewer entries than its
// parameter has steps.
class COptionMenu : public CControl {
public:
    static constexpr int kMaxEntries = 16;
    static constexpr int kMaxText = 64;
    static constexpr int kEntryHeight = 18;

    COptionMenu(const CRect& size, CControlListener* listener, long tag);
    ~COptionMenu() override;

    // Marks the menu for redraw when the entry differs.
    void setEntry(int index, const char* text);
    void setNbEntries(int count);
    int getNbEntries() const { return count; }
    const char* getEntry(int index) const;
    void setSteps(int steps);
    int getSteps() const { return steps; }
    // The chosen entry; it may lie beyond the entries listed when the value names none.
    int getCurrent() const { return stepOf(value, steps); }
    // Shown on the closed menu instead of the chosen entry; empty for the entry.
    void setFaceText(const char* text);

    // As the user does: opens the list, or picks an entry (a gesture when it changes the value).
    void openList();
    void select(int index);
    bool isListOpen() const;
    // Where the list shows when opened, in frame coordinates.
    CRect getListRect() const;

    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;
    bool wantsFocus() const override { return true; }

private:
    class CList;

    char entries[kMaxEntries][kMaxText];
    char faceText[kMaxText];
    int count;
    int steps;
    CList* list; // owned by the frame while open
};
