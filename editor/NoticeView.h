#pragma once

#include "gui/CControl.h"
#include "gui/CRect.h"

// An error notice drawn over the whole editor: "XeTetraVST" as the main text, the message, how
// often it was reported when more than once, and an OK button. While shown it takes every click;
// OK, or Return while it has the keys, tells the listener, which dismisses the notice.
class CNoticeView : public CControl {
public:
    static constexpr int kMaxText = 512;

    CNoticeView(const CRect& size, CControlListener* listener, long tag);

    // Marks the view for redraw when text or count differ from what it shows.
    void setNotice(const char* text, int count);
    void clearNotice();
    bool hasNotice() const { return text[0] != '\0'; }
    const char* getNoticeText() const { return text; }
    int getCount() const { return count; }
    // Where the OK button is, in frame coordinates.
    CRect getOkButtonRect() const;
    bool hasFocus() const { return focused; }

    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;
    bool wantsFocus() const override { return true; }
    void takeFocus() override;
    void looseFocus() override;

private:
    CRect getPanelRect() const;
    // Draws text word-wrapped into area, one line per lineHeight; returns the lines drawn.
    int drawWrapped(CDrawContext* context, const CRect& area, int lineHeight);

    char text[kMaxText];
    int count;
    bool focused;
};
