#pragma once

#include "gui/CColor.h"
#include "gui/CControl.h"

class CBitmap;

// A single-line text field. A click, or Tab reaching it, starts editing with a caret; Return or a
// click elsewhere confirms, Escape cancels. The listener hears of an edit only when it ends with a
// text that differs from the one it started with.
class CTextEdit : public CControl {
public:
    static constexpr int kMaxTextLength = 255;

    CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text = nullptr,
              CBitmap* background = nullptr, long style = 0);

    // Shows text (cut to kMaxTextLength bytes); marks the field for redraw only when it differs
    // from the text shown. An edit in progress keeps its own text.
    void setText(const char* text);
    const char* getText() const { return text; }
    // Copies the text into a buffer of size bytes, cut and terminated.
    void getText(char* buffer, int size) const;

    void setFrameColor(const CColor& color);
    void setBackColor(const CColor& color);
    void setFontColor(const CColor& color);
    const CColor& getFrameColor() const { return frameColor; }
    const CColor& getBackColor() const { return backColor; }
    const CColor& getFontColor() const { return fontColor; }
    long getStyle() const { return style; }

    bool isEditing() const { return editing; }
    const char* getEditText() const { return editText; }
    int getCaret() const { return caret; }
    // Starts editing with the caret before byte position (clamped); does nothing when editing.
    void beginEdit(int position);
    // Ends editing; a confirmed, changed text becomes the field's text and the listener hears
    // of it.
    void endEdit(bool confirm);

    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;
    bool onKeyDown(const char* character, int virtualKey) override;
    bool wantsFocus() const override { return true; }
    // Keys reaching the field (Tab, or a click) start an edit with the caret at the end.
    void takeFocus() override;
    void looseFocus() override;

private:
    static constexpr int kTextInset = 3;
    static constexpr int kFontSize = 11;

    int caretFromX(CDrawContext* context, int x) const;
    void insert(const char* bytes);
    void eraseBefore();
    void eraseAfter();
    int previousBoundary(int position) const;
    int nextBoundary(int position) const;

    char text[kMaxTextLength + 1];
    char editText[kMaxTextLength + 1];
    char editStart[kMaxTextLength + 1]; // the text when the edit began
    int editLength;
    int caret;
    int scroll; // pixels the edited text is shifted left to keep the caret visible
    bool editing;
    CBitmap* background;
    long style;
    CColor frameColor;
    CColor backColor;
    CColor fontColor;
};
