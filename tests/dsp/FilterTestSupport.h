#pragma once

// Signals, measurements and independent references shared by the filter tests.

#include "calibration/MsgBox.h"
#include "dsp/Filter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace filtertest {

constexpr double kPi = 3.14159265358979323846;

// Collects what MsgBox reports on this thread while the object lives.
class Messages : public CMessageSink {
public:
    Messages() : scope(this) {}
    void postMessage(const char* message) override { all.emplace_back(message); }
    std::vector<std::string> all;

private:
    CMessageSinkScope scope;
};

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
    if (n > 0) out[0] = 1.0f;
    return out;
}

// Runs a signal through a filter in blocks of the given length (the last one shorter).
inline void runBlocks(CFilter& filter, std::vector<float>& signal, size_t block) {
    for (size_t start = 0; start < signal.size(); start += block) {
        const size_t n = std::min(block, signal.size() - start);
        filter.doFilter(signal.data() + start, static_cast<long>(n));
    }
}

// Runs a signal in the uneven blocks 1, 2, 3, ..., 700, 1, 2, ...
inline void runUneven(CFilter& filter, std::vector<float>& signal) {
    size_t start = 0, block = 1;
    while (start < signal.size()) {
        const size_t n = std::min(block, signal.size() - start);
        filter.doFilter(signal.data() + start, static_cast<long>(n));
        start += n;
        block = block % 700 + 1;
    }
}

// H(e^jw) from an impulse response by a direct DFT at one frequency.
inline std::complex<double> dftAt(const std::vector<float>& h, double w) {
    std::complex<double> sum = 0.0, phasor = 1.0;
    const std::complex<double> step = std::polar(1.0, -w);
    for (size_t n = 0; n < h.size(); ++n) {
        if ((n & 1023) == 0) phasor = std::polar(1.0, -w * static_cast<double>(n));
        sum += static_cast<double>(h[n]) * phasor;
        phasor *= step;
    }
    return sum;
}

// The impulse response of a filter, n samples long.
inline std::vector<float> impulseResponse(CFilter& filter, size_t n) {
    std::vector<float> h = impulse(n);
    filter.doFilter(h.data(), static_cast<long>(n));
    return h;
}

// Both roots of z^2 + a1 z + a2 strictly inside the unit circle, by solving for them.
inline bool rootsInside(double a1, double a2) {
    const std::complex<double> d = std::sqrt(std::complex<double>(a1 * a1 - 4.0 * a2, 0.0));
    return std::abs((-a1 + d) / 2.0) < 1.0 && std::abs((-a1 - d) / 2.0) < 1.0;
}

inline double radians(double hz, double rate) {
    return 2.0 * kPi * hz / rate;
}

// Magnitude of the steady-state response to a sine: runs `settle` samples, then fits
// A sin + B cos to the next `measure` output samples by least squares.
inline double sineGain(CFilter& filter, double hz, double rate, size_t settle, size_t measure,
                       size_t block = 4096) {
    const double w = radians(hz, rate);
    std::vector<float> signal(settle + measure);
    for (size_t n = 0; n < signal.size(); ++n)
        signal[n] = static_cast<float>(std::sin(w * static_cast<double>(n)));
    runBlocks(filter, signal, block);
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (size_t n = settle; n < signal.size(); ++n) {
        const double s = std::sin(w * static_cast<double>(n)),
                     c = std::cos(w * static_cast<double>(n));
        const double y = signal[n];
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += y * s;
        yc += y * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    return std::hypot(a, b);
}

// A direct-form transfer function sum b_k z^-k / (1 + sum a_k z^-k) evaluated at e^jw;
// a holds a1, a2, ....
inline std::complex<double> rationalAt(const std::vector<double>& b, const std::vector<double>& a,
                                       double w) {
    std::complex<double> num = 0.0, den = 1.0;
    for (size_t k = 0; k < b.size(); ++k)
        num += b[k] * std::polar(1.0, -w * static_cast<double>(k));
    for (size_t k = 0; k < a.size(); ++k)
        den += a[k] * std::polar(1.0, -w * static_cast<double>(k + 1));
    return num / den;
}

inline bool allFinite(const std::vector<float>& v) {
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

inline size_t countSubnormal(const std::vector<float>& v) {
    size_t count = 0;
    for (float x : v)
        count += std::fpclassify(x) == FP_SUBNORMAL;
    return count;
}

// The largest distance in units in the last place between two equally long signals.
inline int64_t maxUlps(const std::vector<float>& x, const std::vector<float>& y) {
    int64_t worst = 0;
    for (size_t n = 0; n < x.size() && n < y.size(); ++n) {
        if (x[n] == y[n]) continue;
        int32_t ix, iy;
        std::memcpy(&ix, &x[n], 4);
        std::memcpy(&iy, &y[n], 4);
        if (ix < 0) ix = INT32_MIN - ix;
        if (iy < 0) iy = INT32_MIN - iy;
        worst = std::max<int64_t>(worst, std::llabs(static_cast<int64_t>(ix) - iy));
    }
    return worst;
}

// A directory of its own under /tmp whose path names no sampling rate ("W48" and the like),
// removed with its files at the end.
class ScratchDirectory {
public:
    ScratchDirectory() {
        static int serial = 0;
        path = "/tmp/xetetra-dsp-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        mkdir(path.c_str(), 0700);
    }
    ~ScratchDirectory() {
        for (const auto& file : files)
            std::remove(file.c_str());
        rmdir(path.c_str());
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) {
        const std::string file = path + "/" + name;
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out != nullptr) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
        files.push_back(file);
        return file;
    }

    std::string path;

private:
    std::vector<std::string> files;
};

} // namespace filtertest
