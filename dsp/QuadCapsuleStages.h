#pragma once

#include "dsp/ABMatrix.h"
#include "dsp/QuadEQ.h"
#include "dsp/QuadLF.h"

// The stages before the post-matrix set in one pass over interleaved frames: the LF filters, the
// capsule equalisers (one band per channel) and the matrix, each left out when null. Every frame
// goes through all of them before the next, so that the filters' recursions overlap in the
// processor instead of each stage waiting on its own; the results are those of running the
// stages one after another.
void runCapsuleStages(CQuadLF* lf, const CQuadLFDesign& lfDesign, CQuadEQ* eq,
                      const CQuadEQDesign& eqDesign, const CMatrixFactors* matrix, float* frames,
                      long n);
