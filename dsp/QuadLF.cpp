#include "dsp/QuadLF.h"

#include "dsp/IIRFilter.h"

#include <cmath>
#include <initializer_list>

void CQuadLF::clear() {
    for (Section* section : {&shelf, &highPass1, &highPass2})
        for (int k = 0; k < 4; ++k) {
            section->x1[k] = 0.0f;
            section->x2[k] = 0.0f;
            section->y1[k] = 0.0f;
            section->y2[k] = 0.0f;
        }
}

namespace {
// The statements of CIIRFilter's first- and second-order loops, one channel each.
inline float firstOrder(const float (&c)[3][4], float* x1, float* y1, int k, float x0) {
    float acc = 0.0f;
    acc += c[0][k] * x0;
    acc += c[1][k] * x1[k];
    acc -= c[2][k] * y1[k];
    x1[k] = x0;
    y1[k] = acc;
    return acc;
}

inline float secondOrder(const float (&c)[5][4], float* x1, float* x2, float* y1, float* y2, int k,
                         float x0) {
    float acc = 0.0f;
    acc += c[0][k] * x0;
    acc += c[1][k] * x1[k];
    acc += c[2][k] * x2[k];
    acc -= c[3][k] * y1[k];
    acc -= c[4][k] * y2[k];
    x2[k] = x1[k];
    x1[k] = x0;
    y2[k] = y1[k];
    y1[k] = acc;
    return acc;
}
} // namespace

void CQuadLF::run(const CQuadLFDesign& d, float* frames, long n) {
    if (n <= 0) return;
    Section& s = shelf;
    Section& h1 = highPass1;
    Section& h2 = highPass2;
    for (long i = 0; i < n; ++i) {
        float* frame = frames + 4 * i;
        for (int k = 0; k < 4; ++k) {
            float v = firstOrder(d.shelf, s.x1, s.y1, k, frame[k]);
            v = secondOrder(d.highPass1, h1.x1, h1.x2, h1.y1, h1.y2, k, v);
            frame[k] = secondOrder(d.highPass2, h2.x1, h2.x2, h2.y1, h2.y2, k, v);
        }
    }
    finish(s, false, frames, n);
    finish(h1, true, frames, n);
    finish(h2, true, frames, n);
}

void CQuadLF::finish(Section& s, bool secondOrder, float* frames, long n) {
    for (int k = 0; k < 4; ++k) {
        float* const state[] = {&s.x1[k], &s.y1[k], &s.x2[k], &s.y2[k]};
        const int used = secondOrder ? 4 : 2;
        bool finite = true;
        float largest = 0.0f;
        for (int j = 0; j < used; ++j) {
            finite = finite && std::isfinite(*state[j]);
            largest = std::fmax(largest, std::fabs(*state[j]));
        }
        if (finite && !(largest < CIIRFilter::kTinyState)) continue;
        for (float* value : state)
            *value = 0.0f;
        if (!finite)
            for (long i = 0; i < n; ++i)
                if (!std::isfinite(frames[4 * i + k])) frames[4 * i + k] = 0.0f;
    }
}
