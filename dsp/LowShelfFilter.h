#pragma once

#include "dsp/IIRFilter.h"

// First-order low shelf (s + w2) / (s + w1) by the bilinear transform: gain K2/K1 at 0 Hz, 1 at
// half the rate.
class CLowShelfFilter : public CIIRFilter {
public:
    // Both leave the coefficients uncomputed (all zero) until setFreqs or setSamplingRate.
    CLowShelfFilter();
    CLowShelfFilter(float f1, float f2);

    void init() override;
    void setSamplingRate(float rate) override;
    void setFreqs(float f1, float f2);
    float getF1() const { return firstFrequency; }
    float getF2() const { return secondFrequency; }
    void updateCoefficients();

protected:
    float firstFrequency;  // Hz, the pole
    float secondFrequency; // Hz, the zero

private:
    bool design(float f1, float f2);
};
