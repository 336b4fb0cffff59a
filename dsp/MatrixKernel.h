#pragma once

// The per-frame step of the matrix on interleaved frames, in registers: for
// CABMatrix::processFrames and for the pass that runs the capsule stages together. Internal to the
// files that include it.

#include "dsp/ABMatrix.h"

#include <emmintrin.h>

namespace {

// The four outputs in the lanes of one vector, each with CABMatrix::process's statements: the
// fixed signs are folded into the factors (a + (-g) s is a - g s exactly), and only W's lane is
// divided by sqrt(2), in double, before its output gain.
struct MatrixRegs {
    __m128 g0, g1, g2, g3, o;
    __m128d sqrt2;

    explicit MatrixRegs(const CMatrixFactors& f) {
        const auto column = [&f](int c, float sx, float sy, float sz) {
            return _mm_set_ps(sz * f.g[3][c], sy * f.g[2][c], sx * f.g[1][c], f.g[0][c]);
        };
        g0 = column(0, 1.0f, 1.0f, 1.0f);
        g1 = column(1, 1.0f, -1.0f, -1.0f);
        g2 = column(2, -1.0f, 1.0f, -1.0f);
        g3 = column(3, -1.0f, -1.0f, 1.0f);
        o = _mm_loadu_ps(f.o);
        sqrt2 = _mm_set_sd(1.4142135623730951);
    }

    __m128 step(__m128 s) const {
        __m128 acc = _mm_mul_ps(g0, _mm_shuffle_ps(s, s, 0x00));
        acc = _mm_add_ps(acc, _mm_mul_ps(g1, _mm_shuffle_ps(s, s, 0x55)));
        acc = _mm_add_ps(acc, _mm_mul_ps(g2, _mm_shuffle_ps(s, s, 0xaa)));
        acc = _mm_add_ps(acc, _mm_mul_ps(g3, _mm_shuffle_ps(s, s, 0xff)));
        const __m128d w = _mm_div_sd(_mm_cvtss_sd(_mm_setzero_pd(), acc), sqrt2);
        return _mm_mul_ps(o, _mm_cvtsd_ss(acc, w));
    }
};

} // namespace
