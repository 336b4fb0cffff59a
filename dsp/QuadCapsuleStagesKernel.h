#pragma once

// The pass of runCapsuleStages, written once for any four-lane vector type and compiled by
// QuadCapsuleStages.cpp for every x86-64 processor and by QuadKernelsWide.cpp for AVX2.

#include "dsp/MatrixKernel.h"
#include "dsp/QuadCapsuleStages.h"
#include "dsp/QuadEQKernel.h"
#include "dsp/QuadLFKernel.h"

namespace {

template <class V, bool LF, bool EQ, bool Matrix>
void capsulePass(CQuadLF* lf, const CQuadLFDesign& lfDesign, CQuadEQ* eq,
                 const CQuadEQDesign& eqDesign, const CMatrixFactors* matrix, float* frames,
                 long n) {
    CQuadLF::Memory none{};
    CQuadEQ::Memory noBands{};
    LFRegs lfRegs(lfDesign, LF ? lf->memory() : none);
    EQRegs<1, V> eqRegs(eqDesign, EQ ? eq->memory() : noBands);
    const MatrixRegs matrixRegs(Matrix ? *matrix : CMatrixFactors{});
    // One turn of the loop takes the LF filters over frame i, the equalisers over frame i - 1 and
    // the matrix over frame i - 2: the three stages' work is independent within a turn, so the
    // processor overlaps three frames instead of waiting on each stage of one.
    __m128 afterLF = _mm_setzero_ps(), afterEQ = _mm_setzero_ps();
    for (long i = 0; i < n + 2; ++i) {
        if (i >= 2) {
            const __m128 y = Matrix ? matrixRegs.step(afterEQ) : afterEQ;
            _mm_storeu_ps(frames + 4 * (i - 2), y);
        }
        if (i >= 1 && i <= n) afterEQ = EQ ? eqRegs.step(afterLF) : afterLF;
        if (i < n) {
            const __m128 x = _mm_loadu_ps(frames + 4 * i);
            afterLF = LF ? lfRegs.step(x) : x;
        }
    }
    if (LF) lfRegs.store(lf->memory());
    if (EQ) eqRegs.store(eq->memory());
}

template <class V>
void capsuleStages(CQuadLF* lf, const CQuadLFDesign& lfDesign, CQuadEQ* eq,
                   const CQuadEQDesign& eqDesign, const CMatrixFactors* matrix, float* frames,
                   long n) {
    const int which =
        (lf != nullptr ? 4 : 0) | (eq != nullptr ? 2 : 0) | (matrix != nullptr ? 1 : 0);
    switch (which) {
    case 7:
        return capsulePass<V, true, true, true>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    case 6:
        return capsulePass<V, true, true, false>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    case 5:
        return capsulePass<V, true, false, true>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    case 4:
        return capsulePass<V, true, false, false>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    case 3:
        return capsulePass<V, false, true, true>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    case 2:
        return capsulePass<V, false, true, false>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    case 1:
        return capsulePass<V, false, false, true>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    default:
        return;
    }
}

} // namespace
