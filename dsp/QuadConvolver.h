#pragma once

#include "dsp/FFTReal.h"

// CFFTFilter's overlap-save convolution on four channels side by side: frames of 2048 samples
// advanced by 1024, each channel with its own 2048-point response, so every sample leaves 1024
// samples after it entered. A channel the design leaves inactive keeps its samples, undelayed.
// Samples are interleaved, four to a frame.
struct CQuadConvolverDesign {
    static constexpr int kSize = 2048;
    static constexpr int kHop = kSize / 2;

    CQuadConvolverDesign();

    bool active[4];
    // Channel k's response, in FFTReal's spectrum layout, at kSize k + element.
    double response[4 * kSize];
};

class CQuadConvolver {
public:
    CQuadConvolver();

    // As CFFTFilter::clearBuffers: empty memory, the frame half full.
    void clear();
    void run(const CQuadConvolverDesign& design, float* frames, long n);

private:
    void processFrame(const CQuadConvolverDesign& design);

    static constexpr int kSize = CQuadConvolverDesign::kSize;
    static constexpr int kHop = CQuadConvolverDesign::kHop;

    FFTReal fft;
    double input[kSize][4];  // the frame being collected, older half first
    double output[kHop][4];  // filtered samples of the frame before, read at position - kHop
    int position;            // kHop .. kSize
    double scratch[3][kSize];
};
