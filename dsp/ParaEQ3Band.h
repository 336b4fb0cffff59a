#pragma once

#include "dsp/Filter.h"
#include "dsp/MitRegFilter.h"

// Three equaliser bands in series (relative widths) and an output gain.
class CParaEQ3Band : public CFilter {
public:
    // The output gain starts at 1 (0 dB) until setParameters.
    CParaEQ3Band();
    // fi centre in Hz, wi width as a fraction of fi, gi band gain in dB.
    CParaEQ3Band(float f1, float w1, float g1, float f2, float w2, float g2, float f3, float w3,
                 float g3, float outDb);

    void setParameters(float f1, float w1, float g1, float f2, float w2, float g2, float f3,
                       float w3, float g3, float outDb);
    void init() override;
    void setSamplingRate(float rate) override;
    void doFilter(float* buf, long n) override;
    void clearBuffers() override;

    const CMitRegFilter& getBand(int i) const { return i == 0 ? band1 : i == 1 ? band2 : band3; }
    float getOutputGain() const { return outputGain; }

protected:
    CMitRegFilter band1;
    CMitRegFilter band2;
    CMitRegFilter band3;
    float outputGain; // linear, limited at +120 dB
};
