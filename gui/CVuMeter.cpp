#include "gui/CVuMeter.h"

#include "gui/CDrawContext.h"
#include "gui/Palette.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char kPeakAlpha = 95;

} // namespace

CVuMeter::CVuMeter(const CRect& size, float minDb, float maxDb)
    : CView(size), minDb(minDb), maxDb(maxDb > minDb ? maxDb : minDb + 1.0f), peakDb(minDb),
      rmsDb(minDb), holdDb(minDb), holdTime(0.0), over(false), active(true) {
    title[0] = '\0';
}

void CVuMeter::setTitle(const char* text) {
    std::snprintf(title, sizeof(title), "%s", text != nullptr ? text : "");
    setDirty();
}

CRect CVuMeter::getBarRect() const {
    return CRect(size.left, size.top + kTitleHeight, size.right, size.bottom - kReadoutHeight);
}

int CVuMeter::yOf(float db) const {
    const CRect bar = getBarRect();
    if (!(db > minDb)) return bar.bottom;
    if (db >= maxDb) return bar.top;
    const float share = (db - minDb) / (maxDb - minDb);
    return bar.bottom - static_cast<int>(std::lround(share * static_cast<float>(bar.height())));
}

void CVuMeter::formatReadout(char* text, int length) const {
    if (!active)
        std::snprintf(text, static_cast<size_t>(length), "%s", "");
    else if (!(holdDb > minDb))
        std::snprintf(text, static_cast<size_t>(length), "%s", "-inf");
    else
        std::snprintf(text, static_cast<size_t>(length), "%.1f", static_cast<double>(holdDb));
}

void CVuMeter::setLevels(float newPeakDb, float newRmsDb, double now) {
    if (std::isnan(newPeakDb)) newPeakDb = minDb;
    if (std::isnan(newRmsDb)) newRmsDb = minDb;
    char before[16];
    formatReadout(before, sizeof(before));
    const int rowsBefore[3] = {yOf(peakDb), yOf(rmsDb), yOf(holdDb)};
    const bool overBefore = over;

    peakDb = newPeakDb;
    rmsDb = newRmsDb;
    if (peakDb >= holdDb || now - holdTime > kHoldSeconds) {
        holdDb = peakDb;
        holdTime = now;
    }
    if (peakDb > 0.0f) over = true;

    char after[16];
    formatReadout(after, sizeof(after));
    if (yOf(peakDb) != rowsBefore[0] || yOf(rmsDb) != rowsBefore[1] ||
        yOf(holdDb) != rowsBefore[2] || over != overBefore || std::strcmp(before, after) != 0)
        setDirty();
}

void CVuMeter::setActive(bool state) {
    if (active == state) return;
    active = state;
    if (!active) {
        peakDb = rmsDb = holdDb = minDb;
        over = false;
    }
    setDirty();
}

void CVuMeter::resetHold() {
    holdDb = peakDb;
    over = false;
    setDirty();
}

bool CVuMeter::onMouseDown(CDrawContext*, int, int, int buttons) {
    if ((buttons & kLButton) == 0) return false;
    resetHold();
    return false;
}

void CVuMeter::draw(CDrawContext* context) {
    setDirty(false);
    if (context == nullptr) return;
    const CRect titleRect(size.left, size.top, size.right, size.top + kTitleHeight - 2);
    if (over) {
        context->setFillColor(kRed);
        context->fillRoundRect(titleRect, 3);
    }
    context->setFont(11, true);
    context->setFontColor(over ? palette::kText : (active ? palette::kText : palette::kTextFaint));
    context->drawString(title, titleRect, kCenterText);

    const CRect bar = getBarRect();
    context->setFillColor(palette::kWell);
    context->fillRect(bar);
    // Faint rules every 6 dB, under the levels.
    context->setFrameColor(CColor(255, 255, 255, 16));
    context->setLineWidth(1);
    for (float db = maxDb - std::fmod(maxDb, 6.0f); db > minDb; db -= 6.0f)
        context->drawLine(bar.left + 1, yOf(db), bar.right - 2, yOf(db));

    if (active) {
        const struct {
            float from, to;
            CColor color;
        } zones[3] = {{minDb, kAmberDb, kGreen}, {kAmberDb, kRedDb, kAmber}, {kRedDb, maxDb, kRed}};
        const int rmsTop = yOf(rmsDb);
        const int peakTop = yOf(peakDb);
        for (const auto& zone : zones) {
            const int zoneTop = yOf(zone.to);
            const int zoneBottom = yOf(zone.from);
            // The peak's dimmer part, then the RMS bar over it.
            context->setFillColor(zone.color.withAlpha(kPeakAlpha));
            context->fillRect(CRect(bar.left + 1, peakTop > zoneTop ? peakTop : zoneTop,
                                    bar.right - 1, zoneBottom));
            context->setFillColor(zone.color);
            context->fillRect(CRect(bar.left + 1, rmsTop > zoneTop ? rmsTop : zoneTop,
                                    bar.right - 1, zoneBottom));
        }
        if (holdDb > minDb) {
            const int y = yOf(holdDb);
            context->setFillColor(kHoldColor);
            context->fillRect(CRect(bar.left + 1, y, bar.right - 1, y + 2));
        }
    }
    context->setFrameColor(palette::kWellEdge);
    context->frameRect(bar);

    char readout[16];
    formatReadout(readout, sizeof(readout));
    context->setFont(9);
    context->setFontColor(holdDb > 0.0f ? kRed : palette::kTextDim);
    context->drawString(readout, CRect(size.left, bar.bottom + 2, size.right, size.bottom),
                        kCenterText);
}
