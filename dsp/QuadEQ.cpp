#include "dsp/QuadEQ.h"

#include "dsp/IIRFilter.h"

#include <cmath>

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
            s1[b][k] = 0.0;
            s2[b][k] = 0.0;
        }
}

template <int Bands> void CQuadEQ::runBands(const CQuadEQDesign& d, float* frames, long n) {
    for (long i = 0; i < n; ++i) {
        float* frame = frames + 4 * i;
        for (int k = 0; k < 4; ++k) {
            float y = frame[k];
            for (int b = 0; b < Bands; ++b) {
                const CQuadEQDesign::Band& band = d.bands[b];
                const double x = y;
                const double ap = band.b0[k] * x + s1[b][k];
                s1[b][k] = band.b1[k] * x - band.a1[k] * ap + s2[b][k];
                s2[b][k] = x - band.a2[k] * ap;
                y = static_cast<float>(0.5 * (x + ap) + band.halfV[k] * (x - ap));
            }
            frame[k] = y;
        }
    }
}

void CQuadEQ::run(const CQuadEQDesign& d, float* frames, long n) {
    if (n <= 0) return;
    switch (d.numBands) {
    case 1:
        runBands<1>(d, frames, n);
        break;
    case 2:
        runBands<2>(d, frames, n);
        break;
    default:
        runBands<3>(d, frames, n);
        break;
    }
    finish(frames, n);
    if (!d.useOutputGain) return;
    for (long i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            frames[4 * i + k] *= d.outputGain[k];
}

void CQuadEQ::finish(float* frames, long n) {
    for (int b = 0; b < CQuadEQDesign::kMaxBands; ++b)
        for (int k = 0; k < 4; ++k) {
            const double a = s1[b][k], c = s2[b][k];
            if (!std::isfinite(a) || !std::isfinite(c)) {
                s1[b][k] = 0.0;
                s2[b][k] = 0.0;
                for (long i = 0; i < n; ++i)
                    if (!std::isfinite(frames[4 * i + k])) frames[4 * i + k] = 0.0f;
            } else if (std::fabs(a) < CIIRFilter::kTinyState &&
                       std::fabs(c) < CIIRFilter::kTinyState) {
                s1[b][k] = 0.0;
                s2[b][k] = 0.0;
            }
        }
}
