#pragma once

// Shared by the FFT, FFT-filter and coincidence-filter tests: reference transforms straight from
// the definition (O(N^2), long double, nothing shared with FFTReal) and the driving helpers.

#include "dsp/FFTFilter.h"

#include <cmath>
#include <random>
#include <vector>

namespace fftref {

constexpr int kLatency = 1024;

// Packed spectrum in the layout FFTReal uses: real parts of bins 0 .. N/2 at their index, minus
// the imaginary part of bin k (e^(-j) convention) at N/2 + k.
inline std::vector<double> packedDft(const std::vector<double>& x) {
    const size_t n = x.size();
    const size_t half = n / 2;
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<long double> cosTable(n), sinTable(n);
    for (size_t m = 0; m < n; ++m) {
        cosTable[m] = std::cos(2.0L * pi * m / n);
        sinTable[m] = std::sin(2.0L * pi * m / n);
    }
    std::vector<double> packed(n, 0.0);
    for (size_t k = 0; k <= half && k < n; ++k) {
        long double re = 0.0L, im = 0.0L;
        for (size_t i = 0; i < n; ++i) {
            const size_t m = (k * i) % n;
            re += x[i] * cosTable[m];
            im -= x[i] * sinTable[m];
        }
        packed[k] = static_cast<double>(re);
        if (k > 0 && k < half) packed[half + k] = static_cast<double>(-im);
    }
    return packed;
}

// Inverse of packedDft, scaled by 1/N.
inline std::vector<double> packedInverse(const std::vector<double>& packed) {
    const size_t n = packed.size();
    const size_t half = n / 2;
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<long double> cosTable(n), sinTable(n);
    for (size_t m = 0; m < n; ++m) {
        cosTable[m] = std::cos(2.0L * pi * m / n);
        sinTable[m] = std::sin(2.0L * pi * m / n);
    }
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        long double sum = packed[0];
        if (n > 1) sum += packed[half] * ((i % 2) ? -1.0L : 1.0L);
        for (size_t k = 1; k < half; ++k) {
            const size_t m = (k * i) % n;
            // X(k) = re - j stored, X(N-k) its conjugate: together 2 (re cos + stored sin).
            sum += 2.0L * (packed[k] * cosTable[m] + packed[half + k] * sinTable[m]);
        }
        x[i] = static_cast<double>(sum / n);
    }
    return x;
}

inline std::vector<float> noise(size_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x)
        v = uniform(generator);
    return x;
}

// Runs the signal through the filter in blocks of the given sizes, cycling through them.
inline std::vector<float> runInBlocks(CFilter& filter, std::vector<float> signal,
                                      const std::vector<long>& sizes) {
    size_t done = 0, next = 0;
    while (done < signal.size()) {
        long size = sizes[next++ % sizes.size()];
        if (static_cast<size_t>(size) > signal.size() - done)
            size = static_cast<long>(signal.size() - done);
        filter.doFilter(signal.data() + done, size);
        done += size;
    }
    return signal;
}

inline std::vector<float> impulseThrough(CFilter& filter, size_t length) {
    std::vector<float> impulse(length, 0.0f);
    impulse[0] = 1.0f;
    return runInBlocks(filter, impulse, {512});
}

inline size_t peakIndex(const std::vector<float>& x) {
    size_t peak = 0;
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > std::fabs(x[peak])) peak = i;
    return peak;
}

// Sets the rate and lets the first block start the design.
inline void design(CFFTFilter& filter, float rate) {
    filter.setSamplingRate(rate);
    float x = 0.0f;
    filter.doFilter(&x, 1);
}

// Magnitude of pair k (elements k and 1024 + k) in dB.
inline double pairDb(const double* spectrum, int k) {
    return 20.0 * std::log10(std::hypot(spectrum[k], spectrum[1024 + k]));
}

// Counts the designs the filter starts by itself.
template <class Filter> class Counting : public Filter {
public:
    using Filter::Filter;
    void internalSetSamplingRate(float rate) override {
        ++designs;
        Filter::internalSetSamplingRate(rate);
    }
    int designs = 0;
};

} // namespace fftref
