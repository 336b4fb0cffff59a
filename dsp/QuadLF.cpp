#include "dsp/QuadLF.h"

#include "dsp/IIRFilter.h"

#include <cmath>
#include <initializer_list>
#include <xmmintrin.h>

void CQuadLF::clear() {
    for (Section* section : {&shelf, &highPass1, &highPass2})
        for (int k = 0; k < 4; ++k) {
            section->x1[k] = 0.0f;
            section->x2[k] = 0.0f;
            section->y1[k] = 0.0f;
            section->y2[k] = 0.0f;
        }
}

void CQuadLF::run(const CQuadLFDesign& d, float* frames, long n) {
    if (n <= 0) return;
    // CIIRFilter's first- and second-order statements, the four channels in the lanes of one
    // vector: each lane does exactly what one channel's filter does.
    const __m128 zero = _mm_setzero_ps();
    const __m128 sb0 = _mm_loadu_ps(d.shelf[0]), sb1 = _mm_loadu_ps(d.shelf[1]);
    const __m128 sa1 = _mm_loadu_ps(d.shelf[2]);
    __m128 c1[5], c2[5];
    for (int j = 0; j < 5; ++j) {
        c1[j] = _mm_loadu_ps(d.highPass1[j]);
        c2[j] = _mm_loadu_ps(d.highPass2[j]);
    }
    __m128 sx1 = _mm_loadu_ps(shelf.x1), sy1 = _mm_loadu_ps(shelf.y1);
    __m128 p1x1 = _mm_loadu_ps(highPass1.x1), p1x2 = _mm_loadu_ps(highPass1.x2);
    __m128 p1y1 = _mm_loadu_ps(highPass1.y1), p1y2 = _mm_loadu_ps(highPass1.y2);
    __m128 p2x1 = _mm_loadu_ps(highPass2.x1), p2x2 = _mm_loadu_ps(highPass2.x2);
    __m128 p2y1 = _mm_loadu_ps(highPass2.y1), p2y2 = _mm_loadu_ps(highPass2.y2);
    for (long i = 0; i < n; ++i) {
        const __m128 x = _mm_loadu_ps(frames + 4 * i);
        __m128 acc = _mm_add_ps(zero, _mm_mul_ps(sb0, x));
        acc = _mm_add_ps(acc, _mm_mul_ps(sb1, sx1));
        acc = _mm_sub_ps(acc, _mm_mul_ps(sa1, sy1));
        sx1 = x;
        sy1 = acc;
        const __m128 v = acc;

        acc = _mm_add_ps(zero, _mm_mul_ps(c1[0], v));
        acc = _mm_add_ps(acc, _mm_mul_ps(c1[1], p1x1));
        acc = _mm_add_ps(acc, _mm_mul_ps(c1[2], p1x2));
        acc = _mm_sub_ps(acc, _mm_mul_ps(c1[3], p1y1));
        acc = _mm_sub_ps(acc, _mm_mul_ps(c1[4], p1y2));
        p1x2 = p1x1;
        p1x1 = v;
        p1y2 = p1y1;
        p1y1 = acc;
        const __m128 u = acc;

        acc = _mm_add_ps(zero, _mm_mul_ps(c2[0], u));
        acc = _mm_add_ps(acc, _mm_mul_ps(c2[1], p2x1));
        acc = _mm_add_ps(acc, _mm_mul_ps(c2[2], p2x2));
        acc = _mm_sub_ps(acc, _mm_mul_ps(c2[3], p2y1));
        acc = _mm_sub_ps(acc, _mm_mul_ps(c2[4], p2y2));
        p2x2 = p2x1;
        p2x1 = u;
        p2y2 = p2y1;
        p2y1 = acc;
        _mm_storeu_ps(frames + 4 * i, acc);
    }
    _mm_storeu_ps(shelf.x1, sx1);
    _mm_storeu_ps(shelf.y1, sy1);
    _mm_storeu_ps(highPass1.x1, p1x1);
    _mm_storeu_ps(highPass1.x2, p1x2);
    _mm_storeu_ps(highPass1.y1, p1y1);
    _mm_storeu_ps(highPass1.y2, p1y2);
    _mm_storeu_ps(highPass2.x1, p2x1);
    _mm_storeu_ps(highPass2.x2, p2x2);
    _mm_storeu_ps(highPass2.y1, p2y1);
    _mm_storeu_ps(highPass2.y2, p2y2);
    finish(shelf, false, frames, n);
    finish(highPass1, true, frames, n);
    finish(highPass2, true, frames, n);
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
