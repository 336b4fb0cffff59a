#include "dsp/QuadIIR.h"

#include "dsp/IIRFilter.h"

#include <cmath>
#include <cstring>

namespace {
constexpr int kMask = CQuadIIRDesign::kHistoryLength - 1;
static_assert((CQuadIIRDesign::kHistoryLength & kMask) == 0, "history length is a power of 2");
} // namespace

CQuadIIRDesign::CQuadIIRDesign() : active{}, numA{}, numB{}, maxA(0), maxB(0) {}

void CQuadIIRDesign::setChannel(int k, const float* bIn, int nB, const float* aIn, int nA) {
    if (k < 0 || k >= 4) return;
    nB = nB < 0 ? 0 : (nB > kHistoryLength ? kHistoryLength : nB);
    nA = nA < 0 ? 0 : (nA > kHistoryLength ? kHistoryLength : nA);
    active[k] = true;
    // A filter without feedback or without feed-forward terms passes its signal unchanged.
    if (nA == 0 || nB == 0) {
        active[k] = false;
        nA = 0;
        nB = 0;
    }
    numA[k] = nA;
    numB[k] = nB;
    if (nA > maxA) {
        a.resize(4 * static_cast<size_t>(nA), 0.0f);
        maxA = nA;
    }
    if (nB > maxB) {
        b.resize(4 * static_cast<size_t>(nB), 0.0f);
        maxB = nB;
    }
    for (int j = 0; j < maxA; ++j)
        a[4 * static_cast<size_t>(j) + static_cast<size_t>(k)] = j < nA ? aIn[j] : 0.0f;
    for (int j = 0; j < maxB; ++j)
        b[4 * static_cast<size_t>(j) + static_cast<size_t>(k)] = j < nB ? bIn[j] : 0.0f;
}

void CQuadIIR::clear() {
    std::memset(inputHistory, 0, sizeof inputHistory);
    std::memset(outputHistory, 0, sizeof outputHistory);
    historyIndex = 0;
}

void CQuadIIR::run(const CQuadIIRDesign& d, float* frames, long n) {
    if (n <= 0 || d.maxA == 0 || d.maxB == 0) return;
    const float* a = d.a.data();
    const float* b = d.b.data();
    const int nA = d.maxA, nB = d.maxB;
    int i = historyIndex;
    for (long t = 0; t < n; ++t) {
        float* frame = frames + 4 * t;
        for (int k = 0; k < 4; ++k) {
            inputHistory[i][k] = frame[k];
            // The padded coefficients are zeros: they add nothing to the sum.
            float acc = 0.0f;
            for (int j = 0; j < nB; ++j)
                acc += b[4 * j + k] * inputHistory[(i - j) & kMask][k];
            for (int j = 0; j < nA; ++j)
                acc -= a[4 * j + k] * outputHistory[(i - 1 - j) & kMask][k];
            outputHistory[i][k] = acc;
            if (d.active[k]) frame[k] = acc;
        }
        i = (i + 1) & kMask;
    }
    historyIndex = i;
    finish(d, frames, n);
}

void CQuadIIR::finish(const CQuadIIRDesign& d, float* frames, long n) {
    const int i = historyIndex;
    for (int k = 0; k < 4; ++k) {
        if (!d.active[k]) continue;
        bool finite = true;
        float largest = 0.0f;
        for (int j = 1; j < d.numB[k]; ++j) {
            const float v = inputHistory[(i - j) & kMask][k];
            finite = finite && std::isfinite(v);
            largest = std::fmax(largest, std::fabs(v));
        }
        for (int j = 0; j < d.numA[k]; ++j) {
            const float v = outputHistory[(i - 1 - j) & kMask][k];
            finite = finite && std::isfinite(v);
            largest = std::fmax(largest, std::fabs(v));
        }
        if (!finite) {
            for (int j = 0; j < CQuadIIRDesign::kHistoryLength; ++j) {
                inputHistory[j][k] = 0.0f;
                outputHistory[j][k] = 0.0f;
            }
            for (long t = 0; t < n; ++t)
                if (!std::isfinite(frames[4 * t + k])) frames[4 * t + k] = 0.0f;
        } else if (largest < CIIRFilter::kTinyState) {
            for (int j = 1; j < d.numB[k]; ++j)
                inputHistory[(i - j) & kMask][k] = 0.0f;
            for (int j = 0; j < d.numA[k]; ++j)
                outputHistory[(i - 1 - j) & kMask][k] = 0.0f;
        }
    }
}
