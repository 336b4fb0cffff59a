#pragma once

#include "dsp/HPFilter2.h"
#include "dsp/IIRFilter.h"
#include "dsp/LowShelfFilter.h"

// The capsule low-frequency filter: a low shelf raising everything below the boost frequency by
// up to boost/cut, then two second-order high-passes forming a fourth-order high-pass at the cut
// frequency.
class CLFFilter : public CIIRFilter {
public:
    CLFFilter();
    CLFFilter(float cut, float boost);

    void init() override;
    void setSamplingRate(float rate) override;
    void doFilter(float* buf, long n) override;
    void clearBuffers() override;
    void setFreqs(float cut, float boost);
    void updateCoefficients();

    float getCut() const { return cutFrequency; }
    float getBoost() const { return boostFrequency; }
    const CLowShelfFilter& getShelf() const { return shelf; }
    const CHPFilter2& getHighPass1() const { return highPass1; }
    const CHPFilter2& getHighPass2() const { return highPass2; }

    // Damping of the first high-pass for a cut frequency.
    static float dampingForCut(float cut);

protected:
    float cutFrequency;   // Hz
    float boostFrequency; // Hz
    CLowShelfFilter shelf;
    CHPFilter2 highPass1;
    CHPFilter2 highPass2;
};
