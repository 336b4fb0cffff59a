#include "dsp/ParaEQ1Band.h"

#include "dsp/ABMatrix.h"

#include <cmath>

CParaEQ1Band::CParaEQ1Band() : centreFrequency(2000.0f), octaves(1.0f), gain(0.0f) {
    CParaEQ1Band::init();
}

void CParaEQ1Band::init() {
    createSectionSet(2, 3);
    setParameters(2000.0f, 1.0f, 0.0f);
}

void CParaEQ1Band::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    updateCoefficients();
}

void CParaEQ1Band::setParameters(float freq, float width, float gainDb) {
    centreFrequency = freq;
    octaves = width;
    gain = gainDb;
    updateCoefficients();
}

// Out of range: a centre at 0 Hz or at or past half the rate (poles on or outside the unit
// circle), a width of 0 octaves or less (Q infinite or negative), a huge width (Q underflows),
// and, as for every single-precision second-order section, a centre below about 5.5e-5 of the
// rate. Those are designed again at the nearest stable centre with the width in
// [kMinOctaves, kMaxOctaves]; the gain is limited at +120 dB.
void CParaEQ1Band::updateCoefficients() {
    if (design(centreFrequency, octaves)) return;
    const float width = clampInto(octaves, kMinOctaves, kMaxOctaves);
    if (redesignNear(centreFrequency, [this, width](float f) { return design(f, width); })) return;
    setPassThrough();
}

bool CParaEQ1Band::design(float freq, float width) {
    const float k = prewarp(freq, samplingRate);
    const double p = std::pow(2.0, static_cast<double>(width));
    const float q = static_cast<float>(std::sqrt(p) / (p - 1.0));
    const float k2 = k * k;
    const float v = limitedDb2level(gain);
    const float vkq = (v * k) / q;
    const float n = 1.0f / ((1.0f + k / q) + k2);
    const float b0 = n * ((1.0f + vkq) + k2);
    const float b1 = (n * 2.0f) * (k2 - 1.0f);
    const float b2 = n * ((1.0f - vkq) + k2);
    const float a1 = (n * 2.0f) * (k2 - 1.0f);
    const float a2 = n * ((1.0f - k / q) + k2);
    if (!std::isfinite(b0) || !std::isfinite(b1) || !std::isfinite(b2) ||
        !isStableSecondOrder(a1, a2))
        return false;
    bCoeffs[0] = b0;
    bCoeffs[1] = b1;
    bCoeffs[2] = b2;
    aCoeffs[0] = a1;
    aCoeffs[1] = a2;
    return true;
}
