#pragma once

// The kernels of CQuadConvolver, written once for any four-lane vector type (QuadVector.h) and
// compiled once per instruction set: by QuadConvolver.cpp for every x86-64 processor and by
// QuadConvolverWide.cpp for AVX2. Included by those two files only.

#include "dsp/QuadConvolver.h"
#include "dsp/QuadVector.h"

#include <xmmintrin.h>

// Everything a convolver works on, allocated once.
struct CQuadConvolver::Memory {
    static constexpr int kSize = CQuadConvolverDesign::kSize;
    static constexpr int kHop = CQuadConvolverDesign::kHop;
    static constexpr int kBins = CQuadConvolverDesign::kBins;
    // Twiddles of the radix-8 passes of a 1024-point transform: for the pass of length n (1024,
    // 128, 16) and p < n / 8, w^mp for m = 1 .. 7 with w = e^(-j 2 pi / n), as fourteen doubles
    // from offset 14 (passOffset + p). The transform ends with a radix-2 pass.
    static constexpr int kTwiddles = 128 + 16 + 2;

    // The two halves of the frame being collected, four channels to a sample: the newer one is
    // being filled, the other holds the 1024 samples before it.
    alignas(64) double halves[2][4 * kHop];
    int newer;
    // The transforms ping-pong between these; a complex point of four channels is four real
    // parts, then four imaginary parts.
    alignas(64) double a[8 * kBins];
    alignas(64) double b[8 * kBins];
    alignas(64) double twiddles[14 * kTwiddles];
    // e^(-j 2 pi k / 2048) for k = 0 .. 512: the split of the half-length transform.
    alignas(64) double split[2 * (kBins / 2 + 1)];
    // The filtered second half of the last frame, four channels to a sample: kHop samples
    // read at position - kHop.
    const double* output;
    int position; // kHop .. kSize
};

namespace {

template <class V> struct Cx { V re, im; };

template <class V> inline Cx<V> loadCx(const double* buffer, int i) {
    return {loadD4(buffer + 8 * i, V{}), loadD4(buffer + 8 * i + 4, V{})};
}
template <class V> inline void storeCx(double* buffer, int i, Cx<V> c) {
    storeD4(buffer + 8 * i, c.re);
    storeD4(buffer + 8 * i + 4, c.im);
}
template <class V> inline Cx<V> operator+(Cx<V> a, Cx<V> b) {
    return {a.re + b.re, a.im + b.im};
}
template <class V> inline Cx<V> operator-(Cx<V> a, Cx<V> b) {
    return {a.re - b.re, a.im - b.im};
}
// w times c, or conj(w) times c.
template <bool Conjugate, class V> inline Cx<V> twiddle(V wr, V wi, Cx<V> c) {
    if (Conjugate) return {mulAdd(wr, c.re, wi * c.im), mulSub(wr, c.im, wi * c.re)};
    return {mulSub(wr, c.re, wi * c.im), mulAdd(wr, c.im, wi * c.re)};
}

template <class V> inline Cx<V> conj(Cx<V> c) {
    return {c.re, V{} - c.im};
}
// -j c forward (j c inverse): a quarter turn.
template <bool Inverse, class V> inline Cx<V> quarter(Cx<V> c) {
    return Inverse ? Cx<V>{V{} - c.im, c.re} : Cx<V>{c.im, V{} - c.re};
}

// One radix-8 pass of a self-sorting (Stockham) transform of length n with stride s (n s is
// always 1024), from x to y; the inverse uses the conjugate twiddles. x is given as its two
// halves of 512 points, which need not be adjacent.
template <bool Inverse, class V>
void radix8Pass(const double* lo, const double* hi, double* y, int n, int s, const double* w) {
    const int n8 = n / 8;
    const double* in[8];
    for (int m = 0; m < 8; ++m)
        in[m] = m < 4 ? lo + 8 * 128 * m : hi + 8 * 128 * (m - 4);
    const V r = splatD4(0.70710678118654752, V{});
    for (int p = 0; p < n8; ++p) {
        const double* wp = w + 14 * p;
        for (int q = 0; q < s; ++q) {
            const int i = q + s * p;
            Cx<V> x[8];
            for (int m = 0; m < 8; ++m)
                x[m] = loadCx<V>(in[m], i);
            // Two 4-point transforms: of the sums, and of the differences turned by w8^r.
            Cx<V> a[4], b[4];
            for (int m = 0; m < 4; ++m) {
                a[m] = x[m] + x[m + 4];
                b[m] = x[m] - x[m + 4];
            }
            // b1 w8 and b3 w8^3, w8 = e^(-j pi/4) forward, e^(+j pi/4) inverse.
            const Cx<V> b1 = b[1], b3 = b[3];
            b[1] = Inverse ? Cx<V>{r * (b1.re - b1.im), r * (b1.re + b1.im)}
                           : Cx<V>{r * (b1.re + b1.im), r * (b1.im - b1.re)};
            b[2] = quarter<Inverse>(b[2]);
            b[3] = Inverse ? Cx<V>{V{} - r * (b3.re + b3.im), r * (b3.re - b3.im)}
                           : Cx<V>{r * (b3.im - b3.re), V{} - r * (b3.re + b3.im)};
            Cx<V> out[8];
            for (int half = 0; half < 2; ++half) {
                const Cx<V>* u = half == 0 ? a : b;
                const Cx<V> v0 = u[0] + u[2], v1 = u[0] - u[2], v2 = u[1] + u[3];
                const Cx<V> v3 = quarter<Inverse>(u[1] - u[3]);
                out[half] = v0 + v2;
                out[half + 2] = v1 + v3;
                out[half + 4] = v0 - v2;
                out[half + 6] = v1 - v3;
            }
            storeCx(y, q + s * (8 * p), out[0]);
            for (int m = 1; m < 8; ++m) {
                const Cx<V> t = p == 0 ? out[m]
                                       : twiddle<Inverse>(splatD4(wp[2 * m - 2], V{}),
                                                          splatD4(wp[2 * m - 1], V{}), out[m]);
                storeCx(y, q + s * (8 * p + m), t);
            }
        }
    }
}

// The last pass, radix 2 with stride 512: y[q] = x[q] + x[q + 512], y[q + 512] = x[q] - x[q + 512];
// only the second half when `secondHalfOnly`.
template <class V>
void radix2Pass(const double* lo, const double* hi, double* y, bool secondHalfOnly) {
    for (int q = 0; q < 512; ++q) {
        const Cx<V> a = loadCx<V>(lo, q), b = loadCx<V>(hi, q);
        if (!secondHalfOnly) storeCx(y, q, a + b);
        storeCx(y, q + 512, a - b);
    }
}

// The 1024-point transform of the points in lo (0 .. 511) and hi (512 .. 1023), through the
// buffers a and b; answers the one that holds the result (in full, or its second half only).
template <bool Inverse, class V>
double* transform(const double* lo, const double* hi, double* a, double* b, const double* twiddles,
                  bool secondHalfOnly) {
    radix8Pass<Inverse, V>(lo, hi, a, 1024, 1, twiddles);
    radix8Pass<Inverse, V>(a, a + 8 * 512, b, 128, 8, twiddles + 14 * 128);
    radix8Pass<Inverse, V>(b, b + 8 * 512, a, 16, 64, twiddles + 14 * (128 + 16));
    radix2Pass<V>(a, a + 8 * 512, b, secondHalfOnly);
    return b;
}

template <class V> inline Cx<V> times(V hr, V hi, Cx<V> c) {
    return {mulSub(hr, c.re, hi * c.im), mulAdd(hr, c.im, hi * c.re)};
}

// From the transform Z of the even and odd samples as one complex signal to the spectrum of the
// 2048 real samples, times the response, and back to the transform of the result's even and odd
// samples, in place. Every halving of the split is in the design's scaling.
template <class V>
void multiplySpectrum(double* z, const CQuadConvolverDesign& d, const double* split) {
    constexpr int kBins = CQuadConvolverDesign::kBins;
    {
        // 0 Hz and half the rate: real, from bin 0; multiplied as CFFTFilter pairs them.
        // (Doubled, as every other bin of the split is.)
        const Cx<V> z0 = loadCx<V>(z, 0);
        const V sum = z0.re + z0.im, difference = z0.re - z0.im;
        const V x0 = sum + sum, xm = difference + difference;
        const V h0 = loadD4(d.re, V{}), hm = loadD4(d.im, V{});
        const V y0 = x0 * h0 - xm * hm, ym = x0 * hm + xm * h0;
        storeCx(z, 0, Cx<V>{y0 + ym, y0 - ym});
    }
    for (int k = 1; k <= kBins / 2; ++k) {
        const int m = kBins - k;
        const V wr = splatD4(split[2 * k], V{}), wi = splatD4(split[2 * k + 1], V{});
        const Cx<V> zk = loadCx<V>(z, k), zc = conj(loadCx<V>(z, m));
        const Cx<V> e = zk + zc;
        const Cx<V> diff = zk - zc;
        const Cx<V> o{diff.im, V{} - diff.re}; // -j (zk - zc)
        const Cx<V> t = twiddle<false>(wr, wi, o);
        const Cx<V> xk = e + t, xm = conj(e - t);
        const Cx<V> yk = times(loadD4(d.re + 4 * k, V{}), loadD4(d.im + 4 * k, V{}), xk);
        const Cx<V> ym = times(loadD4(d.re + 4 * m, V{}), loadD4(d.im + 4 * m, V{}), xm);
        const Cx<V> ymc = conj(ym);
        const Cx<V> ey = yk + ymc;
        const Cx<V> oy = twiddle<true>(wr, wi, yk - ymc);
        const Cx<V> joy{V{} - oy.im, oy.re};
        storeCx(z, k, ey + joy);
        if (m != k) storeCx(z, m, conj(ey) + Cx<V>{oy.im, oy.re});
    }
}

template <class V> void processFrame(CQuadConvolver::Memory& mem, const CQuadConvolverDesign& d) {
    constexpr int kHop = CQuadConvolverDesign::kHop;
    const double* older = mem.halves[1 - mem.newer];
    const double* newer = mem.halves[mem.newer];
    double* z = transform<false, V>(older, newer, mem.a, mem.b, mem.twiddles, false);
    multiplySpectrum<V>(z, d, mem.split);
    double* other = z == mem.a ? mem.b : mem.a;
    // Only the newer half of the frame's result is output.
    double* y = transform<true, V>(z, z + 8 * 512, other, z, mem.twiddles, true);
    double* out = y + 4 * kHop;
    int bad = 0;
    for (int i = 0; i < kHop; ++i)
        bad |= nonFiniteLanes(loadD4(out + 4 * i, V{}));
    // Non-finite input spreads over the whole frame: such a channel starts afresh.
    if (bad != 0)
        for (int k = 0; k < 4; ++k) {
            if ((bad & (1 << k)) == 0) continue;
            for (int i = 0; i < kHop; ++i) {
                mem.halves[0][4 * i + k] = 0.0;
                mem.halves[1][4 * i + k] = 0.0;
                out[4 * i + k] = 0.0;
            }
        }
    // The newer half becomes the older; the older one is filled next.
    mem.newer = 1 - mem.newer;
    mem.output = out;
    mem.position = kHop;
}

template <class V>
void runConvolver(CQuadConvolver::Memory& mem, const CQuadConvolverDesign& d, float* frames,
                  long n) {
    constexpr int kSize = CQuadConvolverDesign::kSize;
    constexpr int kHop = CQuadConvolverDesign::kHop;
    const __m128 active = _mm_castsi128_ps(_mm_set_epi32(
        d.active[3] ? -1 : 0, d.active[2] ? -1 : 0, d.active[1] ? -1 : 0, d.active[0] ? -1 : 0));
    const V highest = splatD4(3.4028234663852886e38, V{}),
            lowest = splatD4(-3.4028234663852886e38, V{});
    long done = 0;
    while (done < n) {
        long run = kSize - mem.position;
        if (run > n - done) run = n - done;
        float* block = frames + 4 * done;
        double* in = mem.halves[mem.newer] + 4 * (mem.position - kHop);
        const double* out = mem.output + 4 * (mem.position - kHop);
        for (long i = 0; i < run; ++i) {
            const __m128 x = _mm_loadu_ps(block + 4 * i);
            storeD4(in + 4 * i, widen(x, V{}));
            // Extreme but finite output stays finite as a float.
            const __m128 y = narrow(maxD4(minD4(loadD4(out + 4 * i, V{}), highest), lowest));
            _mm_storeu_ps(block + 4 * i,
                          _mm_or_ps(_mm_and_ps(active, y), _mm_andnot_ps(active, x)));
        }
        mem.position += static_cast<int>(run);
        done += run;
        if (mem.position == kSize) processFrame<V>(mem, d);
    }
}

} // namespace
