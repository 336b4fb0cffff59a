#include "dsp/HPFilter2.h"

#include <cmath>

CHPFilter2::CHPFilter2() : cutoff(0.0f), damping(0.0f) {
    CHPFilter2::init();
}

CHPFilter2::CHPFilter2(float fc, float d) : CHPFilter2() {
    setFc(fc);
    setD(d);
}

void CHPFilter2::init() {
    createSectionSet(2, 3);
}

void CHPFilter2::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    updateCoefficients();
}

void CHPFilter2::setFc(float fc) {
    cutoff = fc;
    updateCoefficients();
}

void CHPFilter2::setD(float d) {
    damping = d;
    updateCoefficients();
}

// Besides cut-offs at or past half the rate, single-precision coefficients put the poles on or
// outside the unit circle below about 5.5e-5 of the rate (2.6 Hz at 48 kHz, 21 Hz at 384 kHz):
// such a section is designed at the lowest stable frequency above, with a positive damping.
void CHPFilter2::updateCoefficients() {
    if (design(cutoff, damping)) return;
    const float d = clampInto(damping, kMinDamping, kMaxDamping);
    if (redesignNear(cutoff, [this, d](float fc) { return design(fc, d); })) return;
    setPassThrough();
}

bool CHPFilter2::design(float fc, float d) {
    const float k = prewarp(fc, samplingRate);
    const float k2 = k * k;
    const float denominator = (k2 + d * k) + 1.0f;
    const float b0 = 1.0f / denominator;
    const float a1 = 2.0f * (k2 - 1.0f) / denominator;
    const float a2 = ((k2 - d * k) + 1.0f) / ((k2 + d * k) + 1.0f);
    const float b1 = -2.0f * b0;
    if (!std::isfinite(b0) || !std::isfinite(b1) || !isStableSecondOrder(a1, a2)) return false;
    bCoeffs[0] = b0;
    bCoeffs[1] = b1;
    bCoeffs[2] = b0;
    aCoeffs[0] = a1;
    aCoeffs[1] = a2;
    return true;
}
