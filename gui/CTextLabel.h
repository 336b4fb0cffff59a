#pragma once

#include "gui/CColor.h"
#include "gui/CDrawContext.h"
#include "gui/CView.h"

// Text that the user reads and never changes: a caption, or a section heading with a rule
// running from its end to the right edge.
class CTextLabel : public CView {
public:
    static constexpr int kMaxText = 128;
    enum Style { kPlain, kHeading };

    CTextLabel(const CRect& size, const char* text, Style style = kPlain);

    // Marks the label for redraw when the text differs.
    void setText(const char* text);
    const char* getText() const { return text; }
    void setFont(int pixelSize, bool bold);
    void setFontColor(const CColor& color);
    void setAlignment(CHoriTxtAlign align);

    void draw(CDrawContext* context) override;

private:
    char text[kMaxText];
    Style style;
    int fontSize;
    bool bold;
    CColor color;
    CHoriTxtAlign alignment;
};
