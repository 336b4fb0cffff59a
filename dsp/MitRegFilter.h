#pragma once

#include "dsp/IIRFilter.h"

// One parametric equaliser band (peak or notch): a tunable second-order allpass A(z) mixed with
// its input as (1 + A)/2 + V (1 - A)/2, so the centre gain is V and the gain at 0 Hz and at half
// the rate is exactly 1. Runs in double precision on its own state; of its bases it uses only the
// sampling rate.
class CMitRegFilter : public CIIRFilter {
public:
    CMitRegFilter();

    void init() override;
    void setSamplingRate(float rate) override;
    void doFilter(float* buf, long n) override;
    // Width in octaves; a cut is widened by 10^(-gain/20).
    void setParametersOctaves(float freq, float octaves, float gainDb);
    // Width as a fraction of the centre frequency.
    void setParametersRelative(float freq, float relWidth, float gainDb);
    void updateCoefficients();

    // Runs `count` bands (1 to 4) over one buffer, each on the output of the one before, in one
    // pass: the arithmetic of one doFilter after another, but the recursions of the bands overlap
    // in the processor instead of waiting on each other.
    static void doFilterCascade(CMitRegFilter* const* bands, int count, float* buf, long n);

    // One band's coefficients and state, as a sample loop reads them.
    struct Lane {
        double b0, b1, a1, a2, halfV, s1, s2;
    };
    Lane lane() const;

    float getFrequency() const { return centreFrequency; }
    float getBandwidth() const { return bandwidth; }
    float getGain() const { return gain; }
    bool isRelative() const { return relative; }
    double getA1() const { return a1; }
    double getA2() const { return a2; }
    double getB0() const { return b0; }
    double getB1() const { return b1; }
    double getState(int i) const { return state[i & 1]; }
    // True when no usable design exists (unusable sampling rate): the band passes its input.
    bool isBypassed() const { return bypassed; }

protected:
    float centreFrequency; // Hz
    float bandwidth;       // Hz
    float gain;            // dB at the centre frequency
    bool relative;         // selects the bandwidth formula
    double a1, a2;         // allpass denominator; the leading 1 is implied
    double b0, b1;         // allpass numerator; the trailing 1 is implied
    double state[2];
    bool bypassed;

private:
    bool design(float freq, float width);
    // True when a band of this width is narrower than the coefficients can realise: k2 would
    // round to 1 (which includes a zero or negative width).
    bool tooNarrow(float width) const;

    // Takes back the state after a block; a non-finite state is reset and the block's
    // non-finite output samples become 0, a vanishing one is flushed to 0.
    void finishBlock(const Lane& lane, float* buf, long n);
    template <int Count> static void cascade(CMitRegFilter* const* bands, float* buf, long n);
};
