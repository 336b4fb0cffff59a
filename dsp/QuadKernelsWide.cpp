// The double-precision four-channel kernels for processors with AVX2: compiled with -mavx2 -mfma
// and called only where the processor has both (the kernels' owners check).
#include "dsp/ABMatrix.h"
#include "dsp/QuadCapsuleStagesKernel.h"
#include "dsp/QuadConvolverKernel.h"
#include "dsp/QuadEQKernel.h"

void quadConvolverRunWide(CQuadConvolver::Memory& memory, const CQuadConvolverDesign& design,
                          float* frames, long n) {
    runConvolver<D4Wide>(memory, design, frames, n);
}

void quadEQRunWide(const CQuadEQDesign& design, CQuadEQ::Memory& memory, float* frames, long n) {
    runEqualiser<D4Wide>(design, memory, frames, n);
}

void capsuleStagesWide(CQuadLF* lf, const CQuadLFDesign& lfDesign, CQuadEQ* eq,
                       const CQuadEQDesign& eqDesign, const CMatrixFactors* matrix, float* frames,
                       long n) {
    capsuleStages<D4Wide>(lf, lfDesign, eq, eqDesign, matrix, frames, n);
}

namespace {
// w / sqrt(2) rounded to double, without dividing: the product with the rounded reciprocal,
// corrected once by the exact residual (fused multiply-add). For every finite float w the result
// rounds to the same float as the quotient does (checked exhaustively); only the sign of a zero
// needs the product itself.
inline __m256d overSqrt2(__m256d w) {
    const __m256d s = _mm256_set1_pd(1.4142135623730951);
    const __m256d inv = _mm256_set1_pd(1.0 / 1.4142135623730951);
    const __m256d q0 = _mm256_mul_pd(w, inv);
    const __m256d r = _mm256_fnmadd_pd(q0, s, w);
    const __m256d q = _mm256_fmadd_pd(r, inv, q0);
    return _mm256_blendv_pd(q, q0, _mm256_cmp_pd(w, _mm256_setzero_pd(), _CMP_EQ_OQ));
}

inline __m256 finiteOrZero8(__m256 v) {
    return _mm256_and_ps(v, _mm256_cmp_ps(_mm256_sub_ps(v, v), _mm256_setzero_ps(), _CMP_EQ_OQ));
}
} // namespace

long abMatrixChannelsWide(const CMatrixFactors& f, const float* const* in, float* const* out,
                          long n) {
    __m256 g[4][4], o[4];
    for (int row = 0; row < 4; ++row) {
        for (int c = 0; c < 4; ++c)
            g[row][c] = _mm256_set1_ps(f.g[row][c]);
        o[row] = _mm256_set1_ps(f.o[row]);
    }
    long i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 s1 = _mm256_loadu_ps(in[0] + i), s2 = _mm256_loadu_ps(in[1] + i);
        const __m256 s3 = _mm256_loadu_ps(in[2] + i), s4 = _mm256_loadu_ps(in[3] + i);
        // CABMatrix::process's statements, eight frames at a time.
        const auto sum = [&](int row, bool plus2, bool plus3, bool plus4) {
            const __m256 p1 = _mm256_mul_ps(g[row][0], s1), p2 = _mm256_mul_ps(g[row][1], s2);
            const __m256 p3 = _mm256_mul_ps(g[row][2], s3), p4 = _mm256_mul_ps(g[row][3], s4);
            __m256 acc = plus2 ? _mm256_add_ps(p1, p2) : _mm256_sub_ps(p1, p2);
            acc = plus3 ? _mm256_add_ps(acc, p3) : _mm256_sub_ps(acc, p3);
            return plus4 ? _mm256_add_ps(acc, p4) : _mm256_sub_ps(acc, p4);
        };
        const __m256 wSum = sum(0, true, true, true);
        const __m128 wLo =
            _mm256_cvtpd_ps(overSqrt2(_mm256_cvtps_pd(_mm256_castps256_ps128(wSum))));
        const __m128 wHi =
            _mm256_cvtpd_ps(overSqrt2(_mm256_cvtps_pd(_mm256_extractf128_ps(wSum, 1))));
        const __m256 w = _mm256_mul_ps(_mm256_set_m128(wHi, wLo), o[0]);
        const __m256 x = _mm256_mul_ps(o[1], sum(1, true, false, false));
        const __m256 y = _mm256_mul_ps(o[2], sum(2, false, true, false));
        const __m256 z = _mm256_mul_ps(o[3], sum(3, false, false, true));
        _mm256_storeu_ps(out[0] + i, finiteOrZero8(w));
        _mm256_storeu_ps(out[1] + i, finiteOrZero8(x));
        _mm256_storeu_ps(out[2] + i, finiteOrZero8(y));
        _mm256_storeu_ps(out[3] + i, finiteOrZero8(z));
    }
    return i;
}
