#include "dsp/QuadConvolverKernel.h"

#include "dsp/CpuFeatures.h"

#include <cmath>
#include <cstring>

// Defined in QuadConvolverWide.cpp, compiled for AVX2.
void quadConvolverRunWide(CQuadConvolver::Memory& memory, const CQuadConvolverDesign& design,
                          float* frames, long n);

CQuadConvolverDesign::CQuadConvolverDesign() : active{}, re{}, im{} {}

void CQuadConvolverDesign::setChannel(int k, const double* response) {
    if (k < 0 || k >= 4) return;
    // The split into even and odd samples halves twice, and the inverse transform is unscaled.
    const double scale = 0.25 / kBins;
    re[k] = response[0] * scale;
    im[k] = response[kHop] * scale;
    for (int bin = 1; bin < kBins; ++bin) {
        // FFTReal keeps minus the imaginary part.
        re[4 * bin + k] = response[bin] * scale;
        im[4 * bin + k] = -response[kHop + bin] * scale;
    }
    active[k] = true;
}

CQuadConvolver::CQuadConvolver(bool wideVectors)
    : wide(wideVectors && cpuHasWideVectors()), memory(std::make_unique<Memory>()) {
    const double pi = 4.0 * std::atan(1.0);
    int offset = 0;
    for (int n = 1024; n >= 16; n /= 8) {
        for (int p = 0; p < n / 8; ++p)
            for (int m = 1; m <= 7; ++m) {
                const double angle = -2.0 * pi * m * p / n;
                memory->twiddles[14 * (offset + p) + 2 * (m - 1)] = std::cos(angle);
                memory->twiddles[14 * (offset + p) + 2 * (m - 1) + 1] = std::sin(angle);
            }
        offset += n / 8;
    }
    for (int k = 0; k <= Memory::kBins / 2; ++k) {
        const double angle = -2.0 * pi * k / Memory::kSize;
        memory->split[2 * k] = std::cos(angle);
        memory->split[2 * k + 1] = std::sin(angle);
    }
    clear();
}

CQuadConvolver::~CQuadConvolver() = default;

void CQuadConvolver::clear() {
    std::memset(memory->halves, 0, sizeof memory->halves);
    memory->newer = 0;
    std::memset(memory->b, 0, sizeof memory->b);
    memory->output = memory->b + 4 * Memory::kHop;
    memory->position = Memory::kHop;
}

void CQuadConvolver::run(const CQuadConvolverDesign& design, float* frames, long n) {
    if (n <= 0) return;
    if (wide)
        quadConvolverRunWide(*memory, design, frames, n);
    else
        runConvolver<D4Base>(*memory, design, frames, n);
}
