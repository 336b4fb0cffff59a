#include "editor/DirectionView.h"

#include "gui/CDrawContext.h"
#include "gui/Palette.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr CColor kSphereLight(0x3a, 0x40, 0x4c);
constexpr CColor kSphereDark(0x1a, 0x1c, 0x22);
constexpr CColor kLowerHemisphere(0x00, 0x00, 0x00, 70);
constexpr CColor kGrid(0xff, 0xff, 0xff, 34);
constexpr int kReadoutWidth = 88;

double degrees(double radians) {
    return radians * 180.0 / M_PI;
}

const char* azimuthWord(double azimuth) {
    const double a = std::fabs(azimuth);
    if (a <= 22.5) return "front";
    if (a >= 157.5) return "back";
    if (a < 67.5) return azimuth > 0.0 ? "front left" : "front right";
    if (a <= 112.5) return azimuth > 0.0 ? "left" : "right";
    return azimuth > 0.0 ? "back left" : "back right";
}

const char* elevationWord(double elevation) {
    if (elevation > 10.0) return "above";
    if (elevation < -10.0) return "below";
    return "level";
}

} // namespace

CDirectionView::CDirectionView(const CRect& size)
    : CView(size), active(false), direction(false), azimuth(0.0), elevation(0.0), dotX(-1),
      dotY(-1) {}

void CDirectionView::getSphere(double* cx, double* cy, double* radius) const {
    const int diameter =
        size.width() - kReadoutWidth < size.height() ? size.width() - kReadoutWidth : size.height();
    *radius = diameter / 2.0 - 2.0;
    *cx = size.left + diameter / 2.0;
    *cy = size.top + size.height() / 2.0;
}

void CDirectionView::project(double azimuthDegrees, double elevationDegrees, double* x,
                             double* y) const {
    double cx = 0.0, cy = 0.0, radius = 0.0;
    getSphere(&cx, &cy, &radius);
    const double r = radius * (90.0 - elevationDegrees) / 180.0;
    const double a = azimuthDegrees * M_PI / 180.0;
    *x = cx - r * std::sin(a);
    *y = cy - r * std::cos(a);
}

void CDirectionView::setIntensity(float wx, float wy, float wz, bool state) {
    const double horizontal = std::hypot(static_cast<double>(wx), static_cast<double>(wy));
    const double magnitude = std::hypot(horizontal, static_cast<double>(wz));
    const bool found = state && std::isfinite(magnitude) && magnitude > kSilence;
    const int oldAzimuth = static_cast<int>(std::lround(azimuth));
    const int oldElevation = static_cast<int>(std::lround(elevation));
    if (found) {
        azimuth = degrees(std::atan2(static_cast<double>(wy), static_cast<double>(wx)));
        elevation = degrees(std::atan2(static_cast<double>(wz), horizontal));
    }
    double x = -1.0, y = -1.0;
    if (found) project(azimuth, elevation, &x, &y);
    const int newX = static_cast<int>(std::lround(x)), newY = static_cast<int>(std::lround(y));
    if (state != active || found != direction || newX != dotX || newY != dotY ||
        oldAzimuth != static_cast<int>(std::lround(azimuth)) ||
        oldElevation != static_cast<int>(std::lround(elevation)))
        setDirty();
    active = state;
    direction = found;
    dotX = newX;
    dotY = newY;
}

void CDirectionView::drawReadout(CDrawContext* context, int top, const char* title,
                                 const char* value, const char* word) {
    const int left = size.right - kReadoutWidth + 8;
    context->setFont(8, true);
    context->setFontColor(palette::kTextDim);
    context->drawString(title, CRect(left, top, size.right, top + 12), kLeftText);
    context->setFont(18, true);
    context->setFontColor(direction ? palette::kText : palette::kTextFaint);
    context->drawString(value, CRect(left, top + 12, size.right, top + 36), kLeftText);
    context->setFont(9);
    context->setFontColor(palette::kTextDim);
    context->drawString(word, CRect(left, top + 36, size.right, top + 48), kLeftText);
}

void CDirectionView::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    double cx = 0.0, cy = 0.0, radius = 0.0;
    getSphere(&cx, &cy, &radius);

    context->setFillColor(palette::kWellEdge);
    context->fillCircle(cx, cy, radius + 1.5);
    context->fillShadedCircle(cx, cy, radius, kSphereLight, kSphereDark);
    // The lower hemisphere, darker, outside the horizon.
    context->setFrameColor(kLowerHemisphere);
    context->setLineWidth(static_cast<int>(radius / 2.0));
    context->frameCircle(cx, cy, radius * 0.75);

    context->setLineWidth(1);
    context->setFrameColor(kGrid);
    for (int ring = 1; ring <= 5; ++ring) {
        if (ring == 3) continue; // the horizon comes below, bolder
        context->setDashed(ring > 3);
        context->frameCircle(cx, cy, radius * ring / 6.0);
    }
    context->setDashed(false);
    for (int spoke = 0; spoke < 8; ++spoke) {
        const double a = spoke * M_PI / 4.0;
        context->setFrameColor(spoke % 2 == 0 ? kGrid : kGrid.withAlpha(18));
        context->drawSegment(cx, cy, cx + radius * std::sin(a), cy - radius * std::cos(a));
    }
    context->setLineWidth(2);
    context->setFrameColor(palette::kAccent.withAlpha(active ? 200 : 90));
    context->frameCircle(cx, cy, radius / 2.0);
    context->setLineWidth(1);

    context->setFont(8, true);
    context->setFontColor(palette::kTextDim);
    const int x = static_cast<int>(cx), y = static_cast<int>(cy), r = static_cast<int>(radius);
    context->drawString("F", CRect(x - 6, y - r + 1, x + 6, y - r + 11), kCenterText);
    context->drawString("B", CRect(x - 6, y + r - 11, x + 6, y + r - 1), kCenterText);
    context->drawString("L", CRect(x - r + 1, y - 6, x - r + 11, y + 6), kCenterText);
    context->drawString("R", CRect(x + r - 11, y - 6, x + r - 1, y + 6), kCenterText);

    char azimuthText[16] = "--";
    char elevationText[16] = "--";
    if (active && direction) {
        double dx = 0.0, dy = 0.0;
        project(azimuth, elevation, &dx, &dy);
        context->setFillColor(kDotColor.withAlpha(60));
        context->fillCircle(dx, dy, 10.0);
        context->setFillColor(palette::kWellEdge);
        context->fillCircle(dx, dy, 6.0);
        context->setFillColor(kDotColor);
        context->fillCircle(dx, dy, 5.0);
        std::snprintf(azimuthText, sizeof(azimuthText), "%+.0f\xc2\xb0", azimuth);
        std::snprintf(elevationText, sizeof(elevationText), "%+.0f\xc2\xb0", elevation);
    }
    if (!active) {
        context->setFont(9);
        context->setFontColor(palette::kTextDim);
        context->drawString(
            "Display VU is off",
            CRect(size.right - kReadoutWidth + 8, size.top + 4, size.right, size.top + 18),
            kLeftText);
        return;
    }
    drawReadout(context, size.top + 6, "AZIMUTH", azimuthText,
                direction ? azimuthWord(azimuth) : "no signal");
    drawReadout(context, size.top + 72, "ELEVATION", elevationText,
                direction ? elevationWord(elevation) : "");
}
