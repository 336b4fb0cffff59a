// The output meters against closed forms: a sine's peak and mean square, the direction of a
// plane wave's intensity, the fall of the peak and the averages' time constants, whatever the
// block size; and what the processor hands them.

#include "core/OutputMeters.h"
#include "core/TestProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr float kRate = 48000.0f;

// FuMa B-format of a 1 kHz sine of amplitude a from a direction: W = s / sqrt(2).
struct PlaneWave {
    double amplitude, azimuth, elevation;
    void sample(long i, float out[4]) const {
        const double s = amplitude * std::sin(2.0 * M_PI * 1000.0 * i / kRate);
        const double a = azimuth * M_PI / 180.0, e = elevation * M_PI / 180.0;
        out[0] = static_cast<float>(s / std::sqrt(2.0));
        out[1] = static_cast<float>(s * std::cos(a) * std::cos(e));
        out[2] = static_cast<float>(s * std::sin(a) * std::cos(e));
        out[3] = static_cast<float>(s * std::sin(e));
    }
};

// Feeds `frames` frames in blocks of `block`, starting at frame `first`; silence when wave is null.
void feed(COutputMeters& meters, const PlaneWave* wave, long first, long frames, long block) {
    Block buffers(block);
    for (long done = 0; done < frames; done += block) {
        const long n = frames - done < block ? frames - done : block;
        for (long i = 0; i < n; ++i) {
            float s[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            if (wave != nullptr) wave->sample(first + done + i, s);
            for (int k = 0; k < 4; ++k)
                buffers.data[static_cast<size_t>(k)][static_cast<size_t>(i)] = s[k];
        }
        meters.process(buffers.pointers(), n);
    }
}

} // namespace

TEST(OutputMeters, SineLevelsDirectionAndBallisticsForEveryBlockSize) {
    const PlaneWave wave{0.5, 135.0, -30.0};
    float expectedPeak[4]; // at the crest: sample 12 of the 48 of a period
    wave.sample(12, expectedPeak);
    for (long block : {1L, 64L, 512L, 4096L}) {
        SCOPED_TRACE("block " + std::to_string(block));
        COutputMeters meters;
        meters.setSampleRate(kRate);
        meters.setEnabled(true);
        COutputMeters::CReading reading;

        const long settle = 3 * static_cast<long>(kRate); // ten RMS time constants
        feed(meters, &wave, 0, settle, block);
        meters.read(reading);
        EXPECT_EQ(reading.blocks, static_cast<uint32_t>((settle + block - 1) / block));
        for (int k = 0; k < 4; ++k) {
            const double peak = std::fabs(expectedPeak[k]);
            // 48 samples a period: the largest sample lies within cos(pi / 48) of the crest.
            EXPECT_LE(reading.peak[k], peak * 1.0001);
            EXPECT_GE(reading.peak[k], peak * std::cos(M_PI / 48.0) * 0.999);
            EXPECT_NEAR(reading.meanSquare[k], peak * peak / 2.0, peak * peak * 0.01);
        }
        const double horizontal = std::hypot(reading.intensity[0], reading.intensity[1]);
        EXPECT_NEAR(std::atan2(reading.intensity[1], reading.intensity[0]), 0.75 * M_PI,
                    M_PI / 1800.0);
        EXPECT_NEAR(std::atan2(reading.intensity[2], horizontal), -M_PI / 6.0, M_PI / 1800.0);

        // Silence: the peak falls 20 dB in 1.7 s, the mean square e-fold in 0.3 s.
        const COutputMeters::CReading before = reading;
        feed(meters, nullptr, settle, static_cast<long>(1.7 * kRate), block);
        meters.read(reading);
        EXPECT_NEAR(reading.peak[0] / before.peak[0], 0.1, 0.003);
        EXPECT_NEAR(reading.meanSquare[0] / before.meanSquare[0], std::exp(-1.7 / 0.3), 0.001);
        EXPECT_NEAR(reading.intensity[1] / before.intensity[1], std::exp(-1.7 / 0.5), 0.003);

        // A reset asked for from another thread: the next block starts from silence.
        meters.requestReset();
        feed(meters, nullptr, 0, 12, block < 12 ? block : 12);
        meters.read(reading);
        EXPECT_EQ(reading.peak[0], 0.0f);
        EXPECT_EQ(reading.meanSquare[0], 0.0f);
        EXPECT_EQ(reading.intensity[0], 0.0f);
    }
}

TEST(OutputMeters, ExtremeSamplesPublishFiniteValuesAndTheProcessorMeasuresItsOutputs) {
    COutputMeters meters;
    std::vector<float> huge(256, 3e38f);
    float* outputs[4] = {huge.data(), huge.data(), huge.data(), huge.data()};
    meters.process(outputs, 256); // off: nothing measured
    meters.setEnabled(true);
    meters.process(outputs, 256);
    meters.process(outputs, 0);
    meters.process(nullptr, 256);
    COutputMeters::CReading reading;
    meters.read(reading);
    EXPECT_EQ(reading.blocks, 1u);
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(std::isfinite(reading.peak[k]) && std::isfinite(reading.meanSquare[k]) &&
                    (k == 3 || std::isfinite(reading.intensity[k])))
            << k;

    // The processor measures its outputs after everything else, the output order included: in
    // ambiX order the meters still read W, X, Y, Z, from outputs 0, 3, 1 and 2. (Nothing is
    // measured with "Display VU" off: the editor window tests.)
    TestXeTetra processor;
    processor.setSampleRate(kRate);
    Block in(512), out(512);
    processor.setProgram(2); // the matrix alone: X, Y and Z of these capsules all differ
    processor.setParameter(kDisplayVU, 1.0f);
    processor.setParameter(kOutputOrder, 1.0f);
    restart(processor);
    const float capsules[4] = {0.4f, 0.1f, 0.05f, 0.0f};
    for (int c = 0; c < 4; ++c)
        in.data[static_cast<size_t>(c)].assign(512, capsules[c]);
    processor.processReplacing(in.pointers(), out.pointers(), 512);
    processor.GetOutputMeters().read(reading);
    const int output[4] = {0, 3, 1, 2};
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(reading.peak[k], std::fabs(out.data[static_cast<size_t>(output[k])][0]))
            << k;
    EXPECT_FLOAT_EQ(reading.peak[1], 0.45f);
    EXPECT_FLOAT_EQ(reading.peak[3], 0.25f);
}
