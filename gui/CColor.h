#pragma once

// A colour as red, green, blue and alpha bytes; alpha is opacity, 0 fully transparent.
class CColor {
public:
    constexpr CColor() : red(0), green(0), blue(0), alpha(255) {}
    constexpr CColor(unsigned char red, unsigned char green, unsigned char blue,
                     unsigned char alpha = 255)
        : red(red), green(green), blue(blue), alpha(alpha) {}

    constexpr bool isTransparent() const { return alpha == 0; }
    bool operator==(const CColor& other) const;
    bool operator!=(const CColor& other) const { return !(*this == other); }
    // The same colour with another opacity.
    CColor withAlpha(unsigned char newAlpha) const;

    unsigned char red;
    unsigned char green;
    unsigned char blue;
    unsigned char alpha;
};
