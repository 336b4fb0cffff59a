#pragma once

// Signals, drivers and independent references (direct transforms, transfer functions) shared by
// the dsp tests.

#include "dsp/FFTFilter.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/IIRFilter.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace filtertest {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLatency = 1024;

inline std::vector<float> noise(size_t n, unsigned seed, float amplitude = 1.0f) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    std::vector<float> out(n);
    for (auto& v : out)
        v = uniform(generator);
    return out;
}

inline std::vector<float> impulse(size_t n) {
    std::vector<float> out(n, 0.0f);
    out[0] = 1.0f;
    return out;
}

// The signal after the filter, fed in blocks of the given sizes in turn.
inline std::vector<float> run(CFilter& filter, std::vector<float> signal,
                              const std::vector<long>& sizes = {4096}) {
    for (size_t done = 0, next = 0; done < signal.size();) {
        const long n = std::min<long>(sizes[next++ % sizes.size()], signal.size() - done);
        filter.doFilter(signal.data() + done, n);
        done += n;
    }
    return signal;
}

// A coefficient set holding b and a (a1, a2, ...) under a rate.
struct Coefficients : CFilterCoefficients {
    explicit Coefficients(const std::vector<float>& b, const std::vector<float>& a = {},
                          float rate = 48000.0f) {
        put(rate, b, a);
    }
    void put(float rate, const std::vector<float>& b, const std::vector<float>& a = {}) {
        setFilterSizeB(rate, static_cast<int>(b.size()));
        setFilterSizeA(rate, static_cast<int>(a.size()));
        std::copy(b.begin(), b.end(), getCoefficientsB(rate));
        std::copy(a.begin(), a.end(), getCoefficientsA(rate));
    }
};

inline bool allFinite(const std::vector<float>& v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

inline double radians(double hz, double rate) {
    return 2.0 * kPi * hz / rate;
}

// H(e^jw) of an impulse response by a direct DFT at one frequency.
inline std::complex<double> dftAt(const std::vector<float>& h, double w) {
    const std::complex<double> step = std::polar(1.0, -w);
    std::complex<double> sum = 0.0, phasor = 1.0;
    for (size_t n = 0; n < h.size(); ++n, phasor *= step) {
        if ((n & 1023) == 0) phasor = std::polar(1.0, -w * static_cast<double>(n)); // no drift
        sum += static_cast<double>(h[n]) * phasor;
    }
    return sum;
}

// |H(e^jw)| = |sum b_k z^-k / (1 + sum a_k z^-k)| of a section's own coefficients; with
// `recursionOnly`, 1/|A(e^jw)|: how much its recursion amplifies a rounding error.
inline double sectionGain(const CIIRFilter& f, double w, bool recursionOnly = false) {
    std::complex<double> num = recursionOnly ? 1.0 : 0.0, den = 1.0;
    for (int k = 0; !recursionOnly && k < f.getNumB(); ++k)
        num += double(f.getB(k)) * std::polar(1.0, -w * k);
    for (int k = 0; k < f.getNumA(); ++k)
        den += double(f.getA(k)) * std::polar(1.0, -w * (k + 1));
    return std::abs(num / den);
}

// The larger radius of the roots of z^2 + a1 z + a2, and the samples a section with these poles
// needs to ring out.
inline double poleRadius(double a1, double a2) {
    const std::complex<double> d = std::sqrt(std::complex<double>(a1 * a1 - 4.0 * a2, 0.0));
    return std::max(std::abs((-a1 + d) / 2.0), std::abs((-a1 - d) / 2.0));
}
inline bool rootsInside(double a1, double a2) {
    return poleRadius(a1, a2) < 1.0;
}
inline size_t ringLength(double a1, double a2) {
    const double r = poleRadius(a1, a2);
    return static_cast<size_t>(std::min(r > 0.0 ? 30.0 / -std::log(r) : 0.0, 4e6)) + 64;
}

// Every sample equal to the other signal's or one unit in the last place away from it.
inline bool withinUlp(const std::vector<float>& x, const std::vector<float>& y) {
    for (size_t n = 0; n < x.size() && n < y.size(); ++n)
        if (x[n] != y[n] && x[n] != std::nextafter(y[n], x[n])) return false;
    return x.size() == y.size();
}

// Packed spectrum as FFTReal lays it out, from the definition: Re X(k) at k for k = 0 .. N/2,
// -Im X(k) at N/2 + k.
inline std::vector<double> packedDft(const std::vector<double>& x) {
    const size_t n = x.size(), half = n / 2;
    const long double step = 2.0L * 3.141592653589793238462643383279502884L / n;
    std::vector<long double> c(n), s(n);
    for (size_t m = 0; m < n; ++m)
        c[m] = std::cos(step * m), s[m] = std::sin(step * m);
    std::vector<double> packed(n, 0.0);
    for (size_t k = 0; k <= half && k < n; ++k) {
        long double re = 0.0L, im = 0.0L;
        for (size_t i = 0; i < n; ++i)
            re += x[i] * c[(k * i) % n], im += x[i] * s[(k * i) % n];
        packed[k] = static_cast<double>(re);
        if (k > 0 && k < half) packed[half + k] = static_cast<double>(im);
    }
    return packed;
}

// Magnitude of pair k (elements k and 1024 + k) in dB.
inline double pairDb(const double* spectrum, int k) {
    return 20.0 * std::log10(std::hypot(spectrum[k], spectrum[1024 + k]));
}

// Sets the rate and lets the first block start the design.
inline void design(CFFTFilter& filter, float rate) {
    filter.setSamplingRate(rate);
    float x = 0.0f;
    filter.doFilter(&x, 1);
}

// Pairs of 1 + 0j: the input comes out unchanged, 1024 samples later.
inline bool passThroughResponse(const CFFTFilter& filter) {
    for (int k = 0; k < 1024; ++k)
        if (filter.getResponse()[k] != 1.0 || filter.getResponse()[1024 + k] != 0.0) return false;
    return true;
}

} // namespace filtertest
