#pragma once

class CFilterCoefficients;

// A mono filter working in place on blocks of single-precision samples. A plain CFilter passes
// the signal through; it is the "None" entry of the filter-set tables.
class CFilter {
public:
    CFilter();
    virtual ~CFilter();
    virtual void init();
    virtual void setCoefficients(CFilterCoefficients* set);
    virtual void setSamplingRate(float rate);
    virtual void doFilter(float* samples, long count);
    virtual void clearBuffers();
    // Samples by which the filter delays its input; 0 for filters without a block delay.
    virtual long getLatency() const { return 0; }

    // Copies at most kMaxNameLength characters; a null name clears it.
    void setName(const char* newName);
    const char* getName() const { return name; }
    float getSamplingRate() const { return samplingRate; }

    static constexpr int kMaxNameLength = 83;

protected:
    float samplingRate;
    char name[kMaxNameLength + 1];
};
