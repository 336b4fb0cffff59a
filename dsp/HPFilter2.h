#pragma once

#include "dsp/IIRFilter.h"

// Second-order high-pass s^2 / (s^2 + d s + 1) by the bilinear transform, cut-off prewarped.
class CHPFilter2 : public CIIRFilter {
public:
    // Leaves frequency, damping and coefficients unset (coefficients all zero).
    CHPFilter2();
    CHPFilter2(float fc, float d);

    void init() override;
    void setSamplingRate(float rate) override;
    void setFc(float fc);
    void setD(float d);
    float getFc() const { return cutoff; }
    float getD() const { return damping; }
    void updateCoefficients();

    // The dampings a redesign may use; the section is unstable for d <= 0.
    static constexpr float kMinDamping = 0.01f;
    static constexpr float kMaxDamping = 100.0f;

protected:
    float cutoff;  // Hz
    float damping; // d: 2 for two coincident real poles, sqrt(2) for Butterworth

private:
    bool design(float fc, float d);
};
