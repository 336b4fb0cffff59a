#pragma once

#include "dsp/BSplineFilter.h"

// Spline filter preloaded with a correction curve for a tetrahedral microphone whose capsules
// are not coincident: kind 0 for W, kind 1 for X, Y and Z. The curves are measured for a
// spacing of 1.47 cm; another spacing moves them along the frequency axis, and `strength`
// scales their levels.
class CCoincidenceFilter : public CBSplineFilter {
public:
    // Any kind other than 0 and 1 adds no points (and so passes the signal through).
    CCoincidenceFilter(int kind, float spacing, float strength);

    static constexpr int kCurvePoints = 32;
    // Row i of the built-in curves: frequency in Hz, kind-0 level, kind-1 level (dB).
    static void getCurvePoint(int i, float* freqHz, float* levelW, float* levelXYZ);
};
