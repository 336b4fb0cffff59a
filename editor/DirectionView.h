#pragma once

#include "gui/CColor.h"
#include "gui/CView.h"

// Where the sound comes from: the direction of the B-format's intensity vector as a dot on the
// whole sphere seen from above, front at the top and left at the left. The distance from the
// centre grows evenly with the angle below the zenith: the inner disc is the upper hemisphere,
// the horizon the bold ring, the nadir the rim. Beside it, azimuth (counter-clockwise from the
// front, left positive) and elevation in degrees.
class CDirectionView : public CView {
public:
    // Below this intensity (about -90 dB) there is no direction worth showing.
    static constexpr double kSilence = 1e-9;
    static constexpr CColor kDotColor{0xff, 0x8a, 0x2a};

    explicit CDirectionView(const CRect& size);

    // Running averages of W*X, W*Y and W*Z of FuMa B-format, while the meters measure (active).
    // Marks the view for redraw only when the dot or the numbers change.
    void setIntensity(float wx, float wy, float wz, bool active);
    bool isActive() const { return active; }

    void getSphere(double* cx, double* cy, double* radius) const;
    // Where a direction is drawn.
    void project(double azimuthDegrees, double elevationDegrees, double* x, double* y) const;

    void draw(CDrawContext* context) override;

private:
    void drawReadout(CDrawContext* context, int top, const char* title, const char* value,
                     const char* word);

    bool active;
    bool direction;
    double azimuth;
    double elevation;
    int dotX; // where the dot was last drawn, to redraw only on a visible change
    int dotY;
};
