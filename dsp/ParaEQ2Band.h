#pragma once

#include "dsp/Filter.h"
#include "dsp/MitRegFilter.h"

// Two equaliser bands in series (relative widths) and an output gain.
class CParaEQ2Band : public CFilter {
public:
    // The output gain starts at 1 (0 dB) until setParameters.
    CParaEQ2Band();
    // fi centre in Hz, wi width as a fraction of fi, gi band gain in dB.
    CParaEQ2Band(float f1, float w1, float g1, float f2, float w2, float g2, float outDb);

    void setParameters(float f1, float w1, float g1, float f2, float w2, float g2, float outDb);
    void init() override;
    void setSamplingRate(float rate) override;
    void doFilter(float* buf, long n) override;
    void clearBuffers() override;

    const CMitRegFilter& getBand(int i) const { return i == 0 ? band1 : band2; }
    float getOutputGain() const { return outputGain; }

protected:
    CMitRegFilter band1;
    CMitRegFilter band2;
    float outputGain; // linear, limited at +120 dB
};
