#include "dsp/QuadLFKernel.h"

#include "dsp/IIRFilter.h"

#include <cmath>
#include <initializer_list>
#include <xmmintrin.h>

void CQuadLF::clear() {
    for (Section* section : {&state.shelf, &state.highPass1, &state.highPass2})
        for (int k = 0; k < 4; ++k) {
            section->x1[k] = 0.0f;
            section->x2[k] = 0.0f;
            section->y1[k] = 0.0f;
            section->y2[k] = 0.0f;
        }
}

void CQuadLF::run(const CQuadLFDesign& d, float* frames, long n) {
    if (n <= 0) return;
    LFRegs regs(d, state);
    for (long i = 0; i < n; ++i)
        _mm_storeu_ps(frames + 4 * i, regs.step(_mm_loadu_ps(frames + 4 * i)));
    regs.store(state);
    finish(frames, n);
}

void CQuadLF::finish(float* frames, long n) {
    finish(state.shelf, false, frames, n);
    finish(state.highPass1, true, frames, n);
    finish(state.highPass2, true, frames, n);
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
