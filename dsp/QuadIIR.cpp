#include "dsp/QuadIIR.h"

#include "dsp/IIRFilter.h"

#include <cmath>
#include <cstring>
#include <emmintrin.h>

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
    // CIIRFilter's direct form I, the four channels in the lanes of one vector; the padded
    // coefficients are zeros and add nothing to a sum.
    const __m128 active = _mm_castsi128_ps(_mm_set_epi32(
        d.active[3] ? -1 : 0, d.active[2] ? -1 : 0, d.active[1] ? -1 : 0, d.active[0] ? -1 : 0));
    const float* a = d.a.data();
    const float* b = d.b.data();
    const int nA = d.maxA, nB = d.maxB;
    int i = historyIndex;
    for (long t = 0; t < n; ++t) {
        const __m128 x = _mm_loadu_ps(frames + 4 * t);
        _mm_storeu_ps(inputHistory[i], x);
        __m128 acc = _mm_setzero_ps();
        for (int j = 0; j < nB; ++j)
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(b + 4 * j),
                                             _mm_loadu_ps(inputHistory[(i - j) & kMask])));
        for (int j = 0; j < nA; ++j)
            acc = _mm_sub_ps(acc, _mm_mul_ps(_mm_loadu_ps(a + 4 * j),
                                             _mm_loadu_ps(outputHistory[(i - 1 - j) & kMask])));
        _mm_storeu_ps(outputHistory[i], acc);
        _mm_storeu_ps(frames + 4 * t, _mm_or_ps(_mm_and_ps(active, acc), _mm_andnot_ps(active, x)));
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
