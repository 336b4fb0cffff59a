#pragma once

// The sample loop of CQuadEQ, written once for any four-lane vector type (QuadVector.h) and
// compiled once per instruction set: by QuadEQ.cpp for every x86-64 processor and by
// QuadKernelsWide.cpp for AVX2. Included by those two files only.

#include "dsp/QuadEQ.h"
#include "dsp/QuadVector.h"

#include <xmmintrin.h>

namespace {

// CMitRegFilter's statements, one band after another through a float each time, the four
// channels in the lanes of one vector.
template <int Bands, class V> struct EQRegs {
    V b0[Bands], b1[Bands], a1[Bands], a2[Bands], halfV[Bands], z1[Bands], z2[Bands];
    V half;

    EQRegs(const CQuadEQDesign& d, const CQuadEQ::Memory& m) {
        for (int b = 0; b < Bands; ++b) {
            b0[b] = loadD4(d.bands[b].b0, V{});
            b1[b] = loadD4(d.bands[b].b1, V{});
            a1[b] = loadD4(d.bands[b].a1, V{});
            a2[b] = loadD4(d.bands[b].a2, V{});
            halfV[b] = loadD4(d.bands[b].halfV, V{});
            z1[b] = loadD4(m.s1[b], V{});
            z2[b] = loadD4(m.s2[b], V{});
        }
        half = splatD4(0.5, V{});
    }

    void store(CQuadEQ::Memory& m) const {
        for (int b = 0; b < Bands; ++b) {
            storeD4(m.s1[b], z1[b]);
            storeD4(m.s2[b], z2[b]);
        }
    }

    __m128 step(__m128 y) {
        for (int b = 0; b < Bands; ++b) {
            const V x = widen(y, V{});
            const V ap = b0[b] * x + z1[b];
            z1[b] = b1[b] * x - a1[b] * ap + z2[b];
            z2[b] = x - a2[b] * ap;
            y = narrow(half * (x + ap) + halfV[b] * (x - ap));
        }
        return y;
    }
};

template <int Bands, class V>
void runBands(const CQuadEQDesign& d, CQuadEQ::Memory& m, float* frames, long n) {
    EQRegs<Bands, V> regs(d, m);
    for (long i = 0; i < n; ++i)
        _mm_storeu_ps(frames + 4 * i, regs.step(_mm_loadu_ps(frames + 4 * i)));
    regs.store(m);
}

template <class V>
void runEqualiser(const CQuadEQDesign& d, CQuadEQ::Memory& m, float* frames, long n) {
    switch (d.numBands) {
    case 1:
        runBands<1, V>(d, m, frames, n);
        break;
    case 2:
        runBands<2, V>(d, m, frames, n);
        break;
    default:
        runBands<3, V>(d, m, frames, n);
        break;
    }
}

} // namespace
