#include "tools/ResponseCurves.h"

#include "core/XeTetra.h"
#include "dsp/FFTReal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr int kPoints = 400;
constexpr double kLowestFrequency = 10.0;
constexpr long kBlock = 4096;
// Signs of the matrix rows W, X, Y, Z over capsules 1 to 4.
const float kRowSigns[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
} // namespace

void CResponseCurves::measure(AXeTetra& processor, double sampleRate) {
    rate = sampleRate;
    format = processor.GetOutputFormat();
    const COutputMap map = format.map();
    // Two seconds and more: the low-frequency filters ring for a small part of that.
    impulseLength = 16384;
    while (impulseLength < static_cast<long>(2.0 * rate))
        impulseLength *= 2;
    const long n = impulseLength;
    const long half = n / 2;
    const double fmax = rate / 2.0;
    const double fmin = kLowestFrequency < fmax / 10.0 ? kLowestFrequency : fmax / 1000.0;
    frequencies.resize(kPoints);
    for (int p = 0; p < kPoints; ++p)
        frequencies[static_cast<size_t>(p)] =
            fmin * std::pow(fmax / fmin, static_cast<double>(p) / (kPoints - 1));

    FFTReal fft(n);
    std::vector<double> h(static_cast<size_t>(n)), nh(static_cast<size_t>(n));
    std::vector<double> H(static_cast<size_t>(n)), G(static_cast<size_t>(n));
    std::vector<float> in[4], out[4];
    for (int c = 0; c < 4; ++c) {
        in[c].assign(kBlock, 0.0f);
        out[c].assign(kBlock, 0.0f);
    }
    for (int o = 0; o < 4; ++o) {
        processor.setSampleRate(static_cast<float>(rate));
        float* inPointers[4];
        float* outPointers[4];
        for (int c = 0; c < 4; ++c) {
            inPointers[c] = in[c].data();
            outPointers[c] = out[c].data();
        }
        for (long done = 0; done < n; done += kBlock) {
            for (int c = 0; c < 4; ++c) {
                std::fill(in[c].begin(), in[c].end(), 0.0f);
                if (done == 0) in[c][0] = 0.25f * kRowSigns[map.source[o] & 3][c];
            }
            const long count = n - done < kBlock ? n - done : kBlock;
            processor.processReplacing(inPointers, outPointers, static_cast<VstInt32>(count));
            for (long i = 0; i < count; ++i) {
                h[static_cast<size_t>(done + i)] = out[o][static_cast<size_t>(i)];
                nh[static_cast<size_t>(done + i)] =
                    static_cast<double>(done + i) * out[o][static_cast<size_t>(i)];
            }
        }
        fft.do_fft(H.data(), h.data());
        fft.do_fft(G.data(), nh.data());

        // Per bin: magnitude and group delay in samples; the imaginary parts share one sign
        // convention, so Re{G/H} needs no care about it.
        std::vector<double> magnitude(static_cast<size_t>(half + 1)),
            delay(static_cast<size_t>(half + 1));
        double peak = 0.0;
        for (long k = 0; k <= half; ++k) {
            const double hr = H[static_cast<size_t>(k)];
            const double hi = k == 0 || k == half ? 0.0 : H[static_cast<size_t>(half + k)];
            const double gr = G[static_cast<size_t>(k)];
            const double gi = k == 0 || k == half ? 0.0 : G[static_cast<size_t>(half + k)];
            const double power = hr * hr + hi * hi;
            magnitude[static_cast<size_t>(k)] = std::sqrt(power);
            delay[static_cast<size_t>(k)] = power > 0.0 ? (gr * hr + gi * hi) / power : 0.0;
            if (magnitude[static_cast<size_t>(k)] > peak) peak = magnitude[static_cast<size_t>(k)];
        }
        const double floor = peak * 1e-4;
        magnitudeDb[o].resize(kPoints);
        groupDelayMs[o].resize(kPoints);
        for (int p = 0; p < kPoints; ++p) {
            const double bin = frequencies[static_cast<size_t>(p)] * static_cast<double>(n) / rate;
            long k = static_cast<long>(bin);
            if (k >= half) k = half - 1;
            const double t = bin - static_cast<double>(k);
            const size_t a = static_cast<size_t>(k), b = a + 1;
            const double m = magnitude[a] + t * (magnitude[b] - magnitude[a]);
            const double d = delay[a] + t * (delay[b] - delay[a]);
            magnitudeDb[o][static_cast<size_t>(p)] = 20.0 * std::log10(m > 1e-15 ? m : 1e-15);
            groupDelayMs[o][static_cast<size_t>(p)] =
                magnitude[a] > floor && magnitude[b] > floor ? 1000.0 * d / rate : NAN;
        }
    }
}

std::string CResponseCurves::outputLabel(int output) const {
    if (!format.ambix) return format.outputName(output);
    return std::string(format.outputName(output)) + " (" + format.componentName(output) + ")";
}

std::string CResponseCurves::csv() const {
    std::string text = "frequency_hz";
    for (int o = 0; o < 4; ++o) {
        std::string column;
        for (const char* c = format.outputName(o); *c != '\0'; ++c)
            if (*c != ' ') column += *c;
        text += "," + column + "_db," + column + "_group_delay_ms";
    }
    text += "\n";
    for (size_t p = 0; p < frequencies.size(); ++p) {
        char field[64];
        std::snprintf(field, sizeof(field), "%.6g", frequencies[p]);
        text += field;
        for (int o = 0; o < 4; ++o) {
            std::snprintf(field, sizeof(field), ",%.6f", magnitudeDb[o][p]);
            text += field;
            // An empty field where the group delay means nothing.
            if (std::isnan(groupDelayMs[o][p])) {
                text += ",";
            } else {
                std::snprintf(field, sizeof(field), ",%.6f", groupDelayMs[o][p]);
                text += field;
            }
        }
        text += "\n";
    }
    return text;
}
