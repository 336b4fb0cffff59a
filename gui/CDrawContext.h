#pragma once

#include "gui/CColor.h"
#include "gui/CRect.h"

enum CHoriTxtAlign { kLeftText, kCenterText, kRightText };

// Where everything is drawn: an offscreen picture of fixed size. A frame draws into one and
// copies it to its window, so views never draw onto the screen directly and the same drawing
// can be checked without a display.
class CDrawContext {
public:
    // Transparent black pixels of the given size.
    CDrawContext(int width, int height);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    bool isValid() const;
    int getWidth() const { return width; }
    int getHeight() const { return height; }

    void setFillColor(const CColor& color) { fillColor = color; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    void setFontColor(const CColor& color) { fontColor = color; }
    void setLineWidth(int pixels) { lineWidth = pixels; }
    void setFont(int pixelSize, bool bold = false);

    void fillRect(const CRect& rect);
    // A one-line-wide outline just inside rect.
    void frameRect(const CRect& rect);
    void fillRoundRect(const CRect& rect, int radius);
    void frameRoundRect(const CRect& rect, int radius);
    void fillEllipse(const CRect& rect);
    void drawLine(int x1, int y1, int x2, int y2);
    // Shapes at any position, antialiased (drawLine and the rectangles keep to the pixel grid).
    void fillCircle(double cx, double cy, double radius);
    void frameCircle(double cx, double cy, double radius);
    // Clockwise from startDegrees to endDegrees; 0 points right, 90 down.
    void drawArc(double cx, double cy, double radius, double startDegrees, double endDegrees);
    void drawSegment(double x1, double y1, double x2, double y2);
    // A disc lit from the top left: inner at the highlight, outer at the rim.
    void fillShadedCircle(double cx, double cy, double radius, const CColor& inner,
                          const CColor& outer);
    void fillVerticalGradient(const CRect& rect, const CColor& top, const CColor& bottom);
    // Outlines, circles, arcs and segments drawn dashed until switched off again.
    void setDashed(bool dashed);
    // Draws length bytes of text (all when negative) on one line, vertically centred in rect
    // and aligned horizontally. Bytes that are not UTF-8 are taken as Latin-1.
    void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText,
                    int length = -1);
    // Width in pixels of length bytes of text (all when negative), in the current font.
    int getStringWidth(const char* text, int length = -1);

    // Limits drawing to rect until the matching popClip.
    void pushClip(const CRect& rect);
    void popClip();

    // Reads one pixel back (opaque black outside the picture).
    CColor getPixel(int x, int y) const;

    struct Impl; // cairo state; see gui/private/DrawContextImpl.h
    Impl* getImpl() const { return impl; }

private:
    void selectFont();
    void setSource(const CColor& color);

    Impl* impl;
    int width;
    int height;
    CColor fillColor;
    CColor frameColor;
    CColor fontColor;
    int lineWidth;
    int fontSize;
    bool fontBold;
    bool dashed;
};
