#pragma once

#include "dsp/IIRFilter.h"

// First-order high-pass by the bilinear transform, cut-off prewarped.
class CHPFilter : public CIIRFilter {
public:
    // Leaves the coefficients uncomputed (all zero) until setFc or setSamplingRate.
    CHPFilter();
    explicit CHPFilter(float fc);

    void init() override;
    void setSamplingRate(float rate) override;
    void setFc(float fc);
    float getFc() const { return cutoff; }
    void updateCoefficients();

protected:
    float cutoff; // Hz

private:
    bool design(float fc);
};
