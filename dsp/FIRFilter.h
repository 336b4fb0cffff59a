#pragma once

#include "dsp/Filter.h"

class CFilterCoefficients;

// Transversal filter on the B array of a set for the current rate. The taps are 16-bit
// fixed-point values (32767 is 1.0); the delay line is circular over the tap count.
class CFIRFilter : public CFilter {
public:
    CFIRFilter();
    ~CFIRFilter() override;

    void init() override;
    void setCoefficients(CFilterCoefficients* set) override;
    // Takes at most kMaxTaps taps; a longer array is cut to its first kMaxTaps.
    void setSamplingRate(float rate) override;
    void doFilter(float* samples, long count) override;
    void clearBuffers() override;

    int getNumTaps() const { return numTaps; }
    int getWriteIndex() const { return writeIndex; }

    static constexpr int kMaxTaps = 1024;

protected:
    CFilterCoefficients* coefficients; // not owned
    int numTaps;
    float delayLine[kMaxTaps];
    int writeIndex; // slot for the next input, 0 .. numTaps - 1
    float* taps;
};
