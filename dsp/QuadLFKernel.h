#pragma once

// The per-frame step of CQuadLF, held in registers: for CQuadLF::run and for the pass that runs
// the capsule stages together. Internal to the files that include it.

#include "dsp/QuadLF.h"

#include <xmmintrin.h>

namespace {

// CIIRFilter's first- and second-order statements, the four channels in the lanes of one vector:
// each lane does exactly what one channel's filter does.
struct LFRegs {
    __m128 zero, sb0, sb1, sa1, c1[5], c2[5];
    __m128 sx1, sy1, p1x1, p1x2, p1y1, p1y2, p2x1, p2x2, p2y1, p2y2;

    LFRegs(const CQuadLFDesign& d, const CQuadLF::Memory& m) {
        zero = _mm_setzero_ps();
        sb0 = _mm_loadu_ps(d.shelf[0]);
        sb1 = _mm_loadu_ps(d.shelf[1]);
        sa1 = _mm_loadu_ps(d.shelf[2]);
        for (int j = 0; j < 5; ++j) {
            c1[j] = _mm_loadu_ps(d.highPass1[j]);
            c2[j] = _mm_loadu_ps(d.highPass2[j]);
        }
        sx1 = _mm_loadu_ps(m.shelf.x1);
        sy1 = _mm_loadu_ps(m.shelf.y1);
        p1x1 = _mm_loadu_ps(m.highPass1.x1);
        p1x2 = _mm_loadu_ps(m.highPass1.x2);
        p1y1 = _mm_loadu_ps(m.highPass1.y1);
        p1y2 = _mm_loadu_ps(m.highPass1.y2);
        p2x1 = _mm_loadu_ps(m.highPass2.x1);
        p2x2 = _mm_loadu_ps(m.highPass2.x2);
        p2y1 = _mm_loadu_ps(m.highPass2.y1);
        p2y2 = _mm_loadu_ps(m.highPass2.y2);
    }

    void store(CQuadLF::Memory& m) const {
        _mm_storeu_ps(m.shelf.x1, sx1);
        _mm_storeu_ps(m.shelf.y1, sy1);
        _mm_storeu_ps(m.highPass1.x1, p1x1);
        _mm_storeu_ps(m.highPass1.x2, p1x2);
        _mm_storeu_ps(m.highPass1.y1, p1y1);
        _mm_storeu_ps(m.highPass1.y2, p1y2);
        _mm_storeu_ps(m.highPass2.x1, p2x1);
        _mm_storeu_ps(m.highPass2.x2, p2x2);
        _mm_storeu_ps(m.highPass2.y1, p2y1);
        _mm_storeu_ps(m.highPass2.y2, p2y2);
    }

    static __m128 section(const __m128 (&c)[5], __m128 zero, __m128 x, __m128& x1, __m128& x2,
                          __m128& y1, __m128& y2) {
        __m128 acc = _mm_add_ps(zero, _mm_mul_ps(c[0], x));
        acc = _mm_add_ps(acc, _mm_mul_ps(c[1], x1));
        acc = _mm_add_ps(acc, _mm_mul_ps(c[2], x2));
        acc = _mm_sub_ps(acc, _mm_mul_ps(c[3], y1));
        acc = _mm_sub_ps(acc, _mm_mul_ps(c[4], y2));
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = acc;
        return acc;
    }

    __m128 step(__m128 x) {
        __m128 acc = _mm_add_ps(zero, _mm_mul_ps(sb0, x));
        acc = _mm_add_ps(acc, _mm_mul_ps(sb1, sx1));
        acc = _mm_sub_ps(acc, _mm_mul_ps(sa1, sy1));
        sx1 = x;
        sy1 = acc;
        const __m128 u = section(c1, zero, acc, p1x1, p1x2, p1y1, p1y2);
        return section(c2, zero, u, p2x1, p2x2, p2y1, p2y2);
    }
};

} // namespace
