#include "dsp/HPFilter.h"

#include <cmath>

CHPFilter::CHPFilter() : cutoff(0.0f) {
    CHPFilter::init();
}

CHPFilter::CHPFilter(float fc) : CHPFilter() {
    setFc(fc);
}

void CHPFilter::init() {
    createSectionSet(1, 2);
}

void CHPFilter::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    updateCoefficients();
}

void CHPFilter::setFc(float fc) {
    cutoff = fc;
    updateCoefficients();
}

// A cut-off at or beyond half the rate, at or below 0 Hz, or an unusable rate gives a pole on or
// outside the unit circle: the section is then designed at the nearest usable frequency.
void CHPFilter::updateCoefficients() {
    if (design(cutoff)) return;
    if (redesignNear(cutoff, [this](float fc) { return design(fc); })) return;
    setPassThrough();
}

bool CHPFilter::design(float fc) {
    const float k = prewarp(fc, samplingRate);
    const float n = 1.0f / (k + 1.0f);
    const float a1 = (k - 1.0f) * n;
    if (!std::isfinite(n) || !isStableFirstOrder(a1)) return false;
    aCoeffs[0] = a1;
    bCoeffs[0] = n;
    bCoeffs[1] = -n;
    return true;
}
