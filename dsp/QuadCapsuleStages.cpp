#include "dsp/QuadCapsuleStagesKernel.h"

// Defined in QuadKernelsWide.cpp, compiled for AVX2.
void capsuleStagesWide(CQuadLF* lf, const CQuadLFDesign& lfDesign, CQuadEQ* eq,
                       const CQuadEQDesign& eqDesign, const CMatrixFactors* matrix, float* frames,
                       long n);

void runCapsuleStages(CQuadLF* lf, const CQuadLFDesign& lfDesign, CQuadEQ* eq,
                      const CQuadEQDesign& eqDesign, const CMatrixFactors* matrix, float* frames,
                      long n) {
    if (n <= 0) return;
    if (eq != nullptr && eq->usesWideVectors())
        capsuleStagesWide(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    else
        capsuleStages<D4Base>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
    // What each stage's own run does after a block.
    if (lf != nullptr) lf->finish(frames, n);
    if (eq != nullptr) eq->finish(frames, n);
}
