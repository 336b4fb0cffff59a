#pragma once

#include "gui/CRect.h"

class CDrawContext;

// A picture decoded once and drawn as often as needed. A picture that cannot be found or decoded
// has width and height 0 and draws nothing.
class CBitmap {
public:
    // From the resources embedded in the plug-in, named "bmp%05d" after the number, trying the
    // extensions png, bmp, jpg and pict in that order (only PNG is decoded).
    explicit CBitmap(long resourceId);
    // From PNG bytes in memory.
    CBitmap(const unsigned char* png, unsigned long size);
    ~CBitmap();
    // The size of an embedded picture as its PNG header gives it, without decoding it; false
    // (and 0 by 0) when there is no such picture or its header is not a PNG's.
    static bool readSize(long resourceId, int* width, int* height);
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    int getWidth() const { return width; }
    int getHeight() const { return height; }
    bool isLoaded() const { return width > 0 && height > 0; }
    // Draws the part of the picture starting at (offsetX, offsetY) into destination.
    void draw(CDrawContext* context, const CRect& destination, int offsetX = 0, int offsetY = 0);

    struct Impl; // the decoded cairo surface
private:
    void load(const unsigned char* png, unsigned long size);

    Impl* impl;
    int width;
    int height;
};
