#pragma once

#include "dsp/FFTReal.h"
#include "dsp/Filter.h"

#include <memory>

// Fast convolution with a 2048-point frequency response: overlap-save in frames of 2048 samples
// advanced by 1024, so every sample leaves the filter 1024 samples after it entered. The response
// is designed lazily, inside doFilter, whenever the requested rate differs from the designed one.
// The base design takes the feed-forward array of a coefficient set as impulse response.
class CFFTFilter : public CFilter {
public:
    CFFTFilter();
    explicit CFFTFilter(bool minPhase);
    ~CFFTFilter() override;
    CFFTFilter(const CFFTFilter&) = delete;
    CFFTFilter& operator=(const CFFTFilter&) = delete;

    void init() override;
    void setCoefficients(CFilterCoefficients* set) override;
    // Records the rate for the next doFilter; a rate that is not finite and positive is ignored.
    void setSamplingRate(float rate) override;
    void doFilter(float* samples, long count) override;
    void clearBuffers() override;
    long getLatency() const override { return kHop; }
    // Designs `response` for the rate.
    virtual void internalSetSamplingRate(float rate);
    // True when a design of this filter equals one of `other` at any rate.
    virtual bool designsLike(const CFFTFilter& other) const;

    void setMinPhase(bool on) { minPhase = on; }
    bool getMinPhase() const { return minPhase; }

    static constexpr int kFFTSize = 2048;
    static constexpr int kHop = kFFTSize / 2; // also the latency in samples
    static constexpr int kMaxTaps = 1024;

    float getRequestedRate() const { return requestedRate; }
    int getNumTaps() const { return numTaps; }
    bool hasDesign() const { return fft != nullptr; }
    // Pair k is (response[k], response[1024 + k]).
    const double* getResponse() const { return response; }
    // Bytes held on the heap (the transform object and its tables).
    long getHeapBytes() const;

protected:
    // Makes a new transform object: the one allocation a design may make.
    void renewTransform();
    // Pairs of 1 + 0j: the input comes out unchanged, 1024 samples later.
    void setPassThroughResponse();
    bool responseIsFinite() const;
    // Gives `response` a phase: the magnitudes of its pairs go through the inverse transform, the
    // result is folded onto the first half (elements doubleFrom .. 1023 doubled, clearFrom .. 2047
    // cleared), transformed back and exponentiated, divided by `divisor`. Uses blockSpectrum as
    // scratch, so the frame being collected survives a redesign.
    void applyPhaseStep(int doubleFrom, int clearFrom, double divisor);

    CFilterCoefficients* coefficients; // not owned
    int numTaps;
    bool minPhase;
    float requestedRate;
    std::unique_ptr<FFTReal> fft;
    double workBuffer[kFFTSize];   // the current frame; after the transforms, the filtered frame
    double inputCopy[kFFTSize];    // input samples of the current frame
    double outputBuffer[kFFTSize]; // filtered samples waiting to be output, read at `position`
    int position;                  // write and read index into the three buffers above
    double response[kFFTSize];
    double impulseResponse[kFFTSize];
    double blockSpectrum[kFFTSize];

private:
    void processFrame();
    void resetSignalState();
};
