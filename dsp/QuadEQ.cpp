#include "dsp/QuadEQKernel.h"

#include "dsp/CpuFeatures.h"
#include "dsp/IIRFilter.h"

#include <cmath>

// Defined in QuadKernelsWide.cpp, compiled for AVX2.
void quadEQRunWide(const CQuadEQDesign& design, CQuadEQ::Memory& memory, float* frames, long n);

CQuadEQ::CQuadEQ(bool wideVectors) : wide(wideVectors && cpuHasWideVectors()) {
    clear();
}

void CQuadEQDesign::setIdentity(Band& band, int k) {
    // A(z) = 1 with both state values staying 0: the allpass returns x, and the mix
    // 0.5 (x + x) + 0.5 (x - x) is x exactly.
    band.b0[k] = 1.0;
    band.b1[k] = 0.0;
    band.a1[k] = 0.0;
    band.a2[k] = 1.0;
    band.halfV[k] = 0.5;
}

void CQuadEQ::clear() {
    for (int b = 0; b < CQuadEQDesign::kMaxBands; ++b)
        for (int k = 0; k < 4; ++k) {
            state.s1[b][k] = 0.0;
            state.s2[b][k] = 0.0;
        }
}

void CQuadEQ::run(const CQuadEQDesign& d, float* frames, long n) {
    if (n <= 0) return;
    if (wide)
        quadEQRunWide(d, state, frames, n);
    else
        runEqualiser<D4Base>(d, state, frames, n);
    finish(frames, n);
    if (!d.useOutputGain) return;
    const __m128 gain = _mm_loadu_ps(d.outputGain);
    for (long i = 0; i < n; ++i)
        _mm_storeu_ps(frames + 4 * i, _mm_mul_ps(_mm_loadu_ps(frames + 4 * i), gain));
}

void CQuadEQ::finish(float* frames, long n) {
    for (int b = 0; b < CQuadEQDesign::kMaxBands; ++b)
        for (int k = 0; k < 4; ++k) {
            const double a = state.s1[b][k], c = state.s2[b][k];
            if (!std::isfinite(a) || !std::isfinite(c)) {
                state.s1[b][k] = 0.0;
                state.s2[b][k] = 0.0;
                for (long i = 0; i < n; ++i)
                    if (!std::isfinite(frames[4 * i + k])) frames[4 * i + k] = 0.0f;
            } else if (std::fabs(a) < CIIRFilter::kTinyState &&
                       std::fabs(c) < CIIRFilter::kTinyState) {
                state.s1[b][k] = 0.0;
                state.s2[b][k] = 0.0;
            }
        }
}
