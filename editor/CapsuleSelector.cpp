#include "editor/CapsuleSelector.h"

#include "gui/CDrawContext.h"
#include "gui/Palette.h"

#include <cmath>
#include <cstdio>

namespace {

// Where the capsules point, as the matrix expects them: front-left-up, front-right-down,
// back-left-down, back-right-up (X front, Y left, Z up).
const double kDirections[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
const char* const kDescriptions[4] = {"front left up", "front right down", "back left down",
                                      "back right up"};
// The viewer looks down on the microphone from above and a little behind, front at the top and
// left at the left as in the direction display, turned a little so no capsule hides another.
constexpr double kYawDegrees = -30.0;
constexpr double kPitchDegrees = 70.0;
constexpr int kCaptionHeight = 34;
constexpr double kPickRadius = 18.0;

} // namespace

CCapsuleSelector::CCapsuleSelector(const CRect& size, CControlListener* listener, long tag)
    : CControl(size, listener, tag) {}

void CCapsuleSelector::project(const double d[3], double* x, double* y, double* depth) const {
    const double yaw = kYawDegrees * M_PI / 180.0, pitch = kPitchDegrees * M_PI / 180.0;
    double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length == 0.0) length = 1.0; // the centre
    const double px = d[0] / length, py = d[1] / length, pz = d[2] / length;
    const double x1 = px * std::cos(yaw) - py * std::sin(yaw);
    const double y1 = px * std::sin(yaw) + py * std::cos(yaw);
    // Looking down: what lies ahead rises on the screen, and height counts a little less.
    const double x2 = x1 * std::cos(pitch) - pz * std::sin(pitch);
    const double z2 = x1 * std::sin(pitch) + pz * std::cos(pitch);
    const double scale =
        (size.width() < size.height() - kCaptionHeight ? size.width()
                                                       : size.height() - kCaptionHeight) *
        0.37;
    const double cx = (size.left + size.right) / 2.0;
    const double cy = size.top + (size.height() - kCaptionHeight) / 2.0;
    *x = cx - y1 * scale; // the microphone's left is the viewer's left
    *y = cy - z2 * scale;
    *depth = x2;
}

void CCapsuleSelector::getCapsulePoint(int capsule, double* x, double* y) const {
    double depth = 0.0;
    project(kDirections[capsule < 0 ? 0 : capsule % kCapsules], x, y, &depth);
}

void CCapsuleSelector::select(int capsule) {
    if (capsule < 0) capsule = 0;
    if (capsule >= kCapsules) capsule = kCapsules - 1;
    commitValue(valueOfStep(capsule, kCapsules));
}

void CCapsuleSelector::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    if (isFocused()) {
        context->setFrameColor(palette::kFocus);
        context->setLineWidth(1);
        context->frameRoundRect(size, 6);
    }
    double px[4], py[4], depth[4];
    for (int c = 0; c < kCapsules; ++c)
        project(kDirections[c], &px[c], &py[c], &depth[c]);

    // The front and left axes through the centre, faint.
    const double origin[3] = {0, 0, 0};
    double ox = 0.0, oy = 0.0, od = 0.0;
    project(origin, &ox, &oy, &od);
    const double axes[2][3] = {{1, 0, 0}, {0, 1, 0}};
    const char* const axisNames[2] = {"front", "left"};
    double labelX[2], labelY[2];
    for (int a = 0; a < 2; ++a) {
        double ax = 0.0, ay = 0.0, ad = 0.0;
        project(axes[a], &ax, &ay, &ad);
        labelX[a] = ox + (ax - ox) * 1.3;
        labelY[a] = oy + (ay - oy) * 1.3;
        context->setLineWidth(1);
        context->setFrameColor(CColor(0x9a, 0x9c, 0xa3, 110));
        context->setDashed(true);
        context->drawSegment(ox, oy, ox + (ax - ox) * 1.15, oy + (ay - oy) * 1.15);
        context->setDashed(false);
    }
    context->setFont(8, true);
    context->setFontColor(palette::kTextDim);
    for (int a = 0; a < 2; ++a) {
        const int tx = static_cast<int>(labelX[a]), ty = static_cast<int>(labelY[a]);
        context->drawString(axisNames[a], CRect(tx - 20, ty - 6, tx + 20, ty + 6), kCenterText);
    }

    // Edges, the ones at the back fainter.
    const int edges[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    for (const auto& edge : edges) {
        const double far = (depth[edge[0]] + depth[edge[1]]) / 2.0; // -1 near .. 1 far
        const unsigned char alpha = static_cast<unsigned char>(200 - 90 * (far + 1.0) / 2.0);
        context->setFrameColor(palette::kAccent.withAlpha(alpha));
        context->setLineWidth(2);
        context->drawSegment(px[edge[0]], py[edge[0]], px[edge[1]], py[edge[1]]);
    }

    // Capsules from the back to the front, so nearer ones cover farther ones.
    int order[4] = {0, 1, 2, 3};
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            if (depth[order[j]] > depth[order[i]]) {
                const int t = order[i];
                order[i] = order[j];
                order[j] = t;
            }
    const int selected = getSelected();
    for (int c : order) {
        const double radius = 10.0 - 2.0 * depth[c];
        const bool chosen = c == selected;
        if (chosen) {
            context->setFillColor(palette::kAccent.withAlpha(70));
            context->fillCircle(px[c], py[c], radius + 5.0);
        }
        context->setFillColor(palette::kWellEdge);
        context->fillCircle(px[c], py[c] + 1.0, radius + 1.0);
        if (chosen)
            context->fillShadedCircle(px[c], py[c], radius, palette::kAccentBright,
                                      CColor(0x8a, 0x6a, 0x26));
        else
            context->fillShadedCircle(px[c], py[c], radius, CColor(0xee, 0xeb, 0xe2),
                                      CColor(0x5a, 0x5c, 0x63));
        const char label[2] = {static_cast<char>('1' + c), '\0'};
        context->setFont(10, true);
        context->setFontColor(palette::kTextOnAccent);
        const int x = static_cast<int>(std::lround(px[c])),
                  y = static_cast<int>(std::lround(py[c]));
        context->drawString(label, CRect(x - 8, y - 7, x + 8, y + 7), kCenterText);
    }

    char caption[32];
    std::snprintf(caption, sizeof(caption), "Capsule %d", selected + 1);
    context->setFont(12, true);
    context->setFontColor(palette::kText);
    context->drawString(caption,
                        CRect(size.left, size.bottom - kCaptionHeight, size.right,
                              size.bottom - kCaptionHeight + 16),
                        kCenterText);
    context->setFont(9);
    context->setFontColor(palette::kTextDim);
    context->drawString(
        kDescriptions[selected],
        CRect(size.left, size.bottom - kCaptionHeight + 16, size.right, size.bottom - 4),
        kCenterText);
}

bool CCapsuleSelector::onMouseDown(CDrawContext*, int x, int y, int buttons) {
    if ((buttons & kLButton) == 0) return false;
    int nearest = -1;
    double best = kPickRadius * kPickRadius;
    for (int c = 0; c < kCapsules; ++c) {
        double cx = 0.0, cy = 0.0;
        getCapsulePoint(c, &cx, &cy);
        const double distance = (cx - x) * (cx - x) + (cy - y) * (cy - y);
        if (distance < best) {
            best = distance;
            nearest = c;
        }
    }
    if (nearest >= 0) select(nearest);
    return false;
}

bool CCapsuleSelector::onKeyDown(const char* character, int virtualKey) {
    int step = 0;
    if (stepForKey(virtualKey, getSelected(), kCapsules, step)) {
        select(step);
        return true;
    }
    if (character != nullptr && character[0] >= '1' && character[0] <= '4' &&
        character[1] == '\0') {
        select(character[0] - '1');
        return true;
    }
    return false;
}
