#pragma once

#include <memory>

// CFFTFilter's overlap-save convolution on four channels side by side: frames of 2048 samples
// advanced by 1024, each channel with its own 2048-point response, so every sample leaves 1024
// samples after it entered. A channel the design leaves inactive keeps its samples, undelayed.
// Samples are interleaved, four to a frame.
//
// Each channel's 2048 real samples are transformed as 1024 complex ones (even and odd samples),
// by a radix-4 self-sorting transform that runs the four channels in the lanes of one vector.
struct CQuadConvolverDesign {
    static constexpr int kSize = 2048;
    static constexpr int kHop = kSize / 2;
    static constexpr int kBins = kSize / 2; // complex points of the half-length transform

    CQuadConvolverDesign();
    // Channel k's response in FFTReal's spectrum layout (2048 values), as CFFTFilter holds it.
    void setChannel(int k, const double* response);

    bool active[4];
    // The response per bin, channel k at 4 bin + k, scaled for the transforms: bins 1 to 1023 as
    // complex numbers; bin 0 holds the pair CFFTFilter multiplies as one complex number, the
    // values at 0 Hz (re) and at half the rate (im).
    double re[4 * (kBins + 1)];
    double im[4 * (kBins + 1)];
};

class CQuadConvolver {
public:
    // `wide`: use the AVX2 kernels where the processor has them.
    explicit CQuadConvolver(bool wide = true);
    ~CQuadConvolver();
    CQuadConvolver(const CQuadConvolver&) = delete;
    CQuadConvolver& operator=(const CQuadConvolver&) = delete;

    // As CFFTFilter::clearBuffers: empty memory, the frame half full.
    void clear();
    void run(const CQuadConvolverDesign& design, float* frames, long n);
    bool usesWideVectors() const { return wide; }

    // The buffers and tables the kernels work on.
    struct Memory;

private:
    bool wide;
    std::unique_ptr<Memory> memory;
};
