#pragma once

// Four double-precision lanes, one per channel, for the four-channel kernels: with SSE2, which
// every x86-64 processor has, as two halves (D4Base); in a translation unit compiled for AVX2 as
// one register (D4Wide). Each lane does plain IEEE operations in the order written, so every
// variant gives the same bits. Everything here has internal linkage: a file compiled for AVX2
// keeps its own copies, and no other file can end up calling them on a processor without it.

#include <emmintrin.h>
#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace {

struct D4Base {
    __m128d lo, hi;
};

inline D4Base operator+(D4Base a, D4Base b) {
    return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)};
}
inline D4Base operator-(D4Base a, D4Base b) {
    return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)};
}
inline D4Base operator*(D4Base a, D4Base b) {
    return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)};
}
// a b + c and a b - c: for the convolution, whose arithmetic need not match any other path bit
// for bit, fused where the processor can.
inline D4Base mulAdd(D4Base a, D4Base b, D4Base c) {
    return a * b + c;
}
inline D4Base mulSub(D4Base a, D4Base b, D4Base c) {
    return a * b - c;
}
inline D4Base loadD4(const double* p, D4Base) {
    return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)};
}
inline void storeD4(double* p, D4Base v) {
    _mm_storeu_pd(p, v.lo);
    _mm_storeu_pd(p + 2, v.hi);
}
inline D4Base splatD4(double v, D4Base) {
    return {_mm_set1_pd(v), _mm_set1_pd(v)};
}
// Four floats widened, and narrowed back with the rounding of a conversion to float.
inline D4Base widen(__m128 f, D4Base) {
    return {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))};
}
inline __m128 narrow(D4Base v) {
    return _mm_movelh_ps(_mm_cvtpd_ps(v.lo), _mm_cvtpd_ps(v.hi));
}
inline D4Base minD4(D4Base a, D4Base b) {
    return {_mm_min_pd(a.lo, b.lo), _mm_min_pd(a.hi, b.hi)};
}
inline D4Base maxD4(D4Base a, D4Base b) {
    return {_mm_max_pd(a.lo, b.lo), _mm_max_pd(a.hi, b.hi)};
}
// Lanes that are NaN or infinite, as a bit mask (bit k for lane k).
inline int nonFiniteLanes(D4Base v) {
    const __m128d zlo = _mm_sub_pd(v.lo, v.lo), zhi = _mm_sub_pd(v.hi, v.hi);
    return (_mm_movemask_pd(_mm_cmpunord_pd(zlo, zlo)) |
            (_mm_movemask_pd(_mm_cmpunord_pd(zhi, zhi)) << 2));
}

#if defined(__AVX2__)
struct D4Wide {
    __m256d v;
};

inline D4Wide operator+(D4Wide a, D4Wide b) {
    return {_mm256_add_pd(a.v, b.v)};
}
inline D4Wide operator-(D4Wide a, D4Wide b) {
    return {_mm256_sub_pd(a.v, b.v)};
}
inline D4Wide operator*(D4Wide a, D4Wide b) {
    return {_mm256_mul_pd(a.v, b.v)};
}
inline D4Wide mulAdd(D4Wide a, D4Wide b, D4Wide c) {
    return {_mm256_fmadd_pd(a.v, b.v, c.v)};
}
inline D4Wide mulSub(D4Wide a, D4Wide b, D4Wide c) {
    return {_mm256_fmsub_pd(a.v, b.v, c.v)};
}
inline D4Wide loadD4(const double* p, D4Wide) {
    return {_mm256_loadu_pd(p)};
}
inline void storeD4(double* p, D4Wide v) {
    _mm256_storeu_pd(p, v.v);
}
inline D4Wide splatD4(double v, D4Wide) {
    return {_mm256_set1_pd(v)};
}
inline D4Wide widen(__m128 f, D4Wide) {
    return {_mm256_cvtps_pd(f)};
}
inline __m128 narrow(D4Wide v) {
    return _mm256_cvtpd_ps(v.v);
}
inline D4Wide minD4(D4Wide a, D4Wide b) {
    return {_mm256_min_pd(a.v, b.v)};
}
inline D4Wide maxD4(D4Wide a, D4Wide b) {
    return {_mm256_max_pd(a.v, b.v)};
}
inline int nonFiniteLanes(D4Wide v) {
    const __m256d z = _mm256_sub_pd(v.v, v.v);
    return _mm256_movemask_pd(_mm256_cmp_pd(z, z, _CMP_UNORD_Q));
}
#endif

} // namespace
