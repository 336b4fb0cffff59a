#pragma once

#include "gui/CColor.h"
#include "gui/CView.h"

// A vertical level meter in dBFS: the RMS level as a bar, the peak as a dimmer bar above it, the
// highest peak of the last moments as a light line, a title above and that held peak as a number
// below. A peak past 0 dBFS lights the title red until the meter is clicked, which also lets go
// of the held peak.
class CVuMeter : public CView {
public:
    static constexpr int kTitleHeight = 16;
    static constexpr int kReadoutHeight = 16;
    static constexpr double kHoldSeconds = 1.5;
    static constexpr int kMaxText = 8;
    // The RMS bar: green up to -18 dBFS, amber to -6, red above; the held peak's line.
    static constexpr float kAmberDb = -18.0f;
    static constexpr float kRedDb = -6.0f;
    static constexpr CColor kGreen{0x52, 0xc4, 0x6a};
    static constexpr CColor kAmber{0xe6, 0xc0, 0x48};
    static constexpr CColor kRed{0xe5, 0x4b, 0x3a};
    static constexpr CColor kHoldColor{0xf2, 0xf0, 0xea};

    CVuMeter(const CRect& size, float minDb, float maxDb);

    void setTitle(const char* text);
    // Levels in dBFS at time `now` (seconds, any steady origin); at or below the bottom of the
    // range nothing shows. Marks the meter for redraw only when what it shows changes.
    void setLevels(float peakDb, float rmsDb, double now);
    // A meter that measures nothing is drawn empty and dimmed.
    void setActive(bool state);
    bool isActive() const { return active; }
    void resetHold();

    float getPeakDb() const { return peakDb; }
    float getRmsDb() const { return rmsDb; }
    float getHoldDb() const { return holdDb; }
    bool isOver() const { return over; }
    // Where the bar is, and the row a level reaches (the bar's bottom for the floor and below).
    CRect getBarRect() const;
    int yOf(float db) const;

    void draw(CDrawContext* context) override;
    bool onMouseDown(CDrawContext* context, int x, int y, int buttons) override;

private:
    void formatReadout(char* text, int size) const;

    char title[kMaxText];
    float minDb;
    float maxDb;
    float peakDb;
    float rmsDb;
    float holdDb;
    double holdTime;
    bool over;
    bool active;
};
