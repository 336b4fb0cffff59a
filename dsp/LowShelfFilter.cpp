#include "dsp/LowShelfFilter.h"

#include <cmath>

CLowShelfFilter::CLowShelfFilter() : CLowShelfFilter(0.0f, 0.0f) {}

CLowShelfFilter::CLowShelfFilter(float f1, float f2) : firstFrequency(f1), secondFrequency(f2) {
    CLowShelfFilter::init();
}

void CLowShelfFilter::init() {
    createSectionSet(1, 2);
}

void CLowShelfFilter::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    updateCoefficients();
}

void CLowShelfFilter::setFreqs(float f1, float f2) {
    firstFrequency = f1;
    secondFrequency = f2;
    updateCoefficients();
}

// A frequency at 0 Hz gives 0/0; a pole frequency at or past half the rate an unstable pole; a
// zero frequency in [fs/2, fs) a zero outside the unit circle, which inverts the shelf with a gain
// of up to 1e10. Each is designed again with both frequencies in the usable range.
void CLowShelfFilter::updateCoefficients() {
    if (design(firstFrequency, secondFrequency)) return;
    float lowest, highest;
    if (designRange(samplingRate, lowest, highest)) {
        const float f2 = clampInto(secondFrequency, lowest, highest);
        if (redesignNear(firstFrequency, [this, f2](float f1) { return design(f1, f2); })) return;
    }
    setPassThrough();
}

bool CLowShelfFilter::design(float f1, float f2) {
    const float k1 = prewarp(f1, samplingRate);
    const float k2 = prewarp(f2, samplingRate);
    const float d = k1 + 1.0f;
    const float r = k2 / k1;
    const float b0 = (((r * k1) * (k2 + 1.0f)) / k2) / d;
    const float b1 = (((r * k1) * (k2 - 1.0f)) / k2) / d;
    const float a1 = (k1 - 1.0f) / d;
    if (!std::isfinite(b0) || !std::isfinite(b1) || !isStableFirstOrder(a1) ||
        !(std::fabs(b1) < std::fabs(b0)))
        return false;
    bCoeffs[0] = b0;
    bCoeffs[1] = b1;
    aCoeffs[0] = a1;
    return true;
}
