#include "calibration/MsgBox.h"
#include "dsp/FFTFilter.h"
#include "dsp/FilterCoefficients.h"
#include "test_fft_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace fftref;

class Messages : public CMessageSink {
public:
    Messages() : scope(this) {}
    void postMessage(const char* message) override { texts.emplace_back(message); }
    std::vector<std::string> texts;

private:
    CMessageSinkScope scope;
};

// Taps whose sums over even and over odd indices vanish: zero gain at DC and at half the rate.
// The filter pairs those two bins, so only such a response makes it an exact FIR filter.
std::vector<float> tapsWithoutDcAndNyquist(size_t n, unsigned seed) {
    std::vector<float> taps = noise(n, seed);
    for (size_t parity = 0; parity < 2; ++parity) {
        double sum = 0.0;
        size_t count = 0;
        for (size_t i = parity; i < n; i += 2, ++count)
            sum += taps[i];
        for (size_t i = parity; i < n; i += 2)
            taps[i] -= static_cast<float>(sum / count);
    }
    return taps;
}

void fillSet(CFilterCoefficients& set, float rate, const std::vector<float>& taps) {
    set.setFilterSizeB(rate, static_cast<int>(taps.size()));
    float* b = set.getCoefficientsB(rate);
    for (size_t i = 0; i < taps.size(); ++i)
        b[i] = taps[i];
}

void expectPassThroughResponse(const CFFTFilter& filter) {
    for (int k = 0; k < 1024; ++k) {
        EXPECT_EQ(filter.getResponse()[k], 1.0) << k;
        EXPECT_EQ(filter.getResponse()[1024 + k], 0.0) << k;
    }
}

} // namespace

TEST(FFTFilter, PassThroughResponseIsAnExactDelayOf1024) {
    // No coefficients, all-negative taps and a set lacking the rate leave no positive peak to
    // normalise to; each gives the pass-through response.
    CFilterCoefficients negative, otherRate;
    fillSet(negative, 48000.0f, {-0.5f, -1.0f, -0.25f});
    fillSet(otherRate, 96000.0f, {1.0f, 0.5f});
    for (CFilterCoefficients* set :
         {static_cast<CFilterCoefficients*>(nullptr), &negative, &otherRate}) {
        Messages messages;
        CFFTFilter filter;
        filter.setCoefficients(set);
        filter.setSamplingRate(48000.0f);
        filter.clearBuffers();

        std::vector<float> impulse(4096, 0.0f);
        impulse[0] = 1.0f;
        const std::vector<float> out = runInBlocks(filter, impulse, {4096});
        expectPassThroughResponse(filter);
        EXPECT_EQ(peakIndex(out), static_cast<size_t>(kLatency));
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i], i == 1024 ? 1.0f : 0.0f) << i;

        const std::vector<float> in = noise(10000, 1);
        const std::vector<float> delayed = runInBlocks(filter, in, {333});
        // The impulse is still in the pipeline for the first 1024 samples.
        for (size_t i = kLatency; i < in.size(); ++i)
            ASSERT_EQ(delayed[i], in[i - kLatency]) << i;

        if (set == &otherRate) {
            ASSERT_EQ(messages.texts.size(), 1u);
            EXPECT_EQ(messages.texts[0], "No filter found for sampling rate  48000");
        } else {
            EXPECT_TRUE(messages.texts.empty());
        }
    }
}

TEST(FFTFilter, EqualsDirectConvolutionWhateverTheBlockSizes) {
    const std::vector<float> taps = tapsWithoutDcAndNyquist(700, 7);
    CFilterCoefficients set;
    fillSet(set, 44100.0f, taps);
    float peak = 0.0f;
    for (float t : taps)
        peak = std::max(peak, t);

    const std::vector<float> in = noise(4 * 4096 + 517, 11);
    // Direct form in double, on the taps normalised to their peak, 1024 samples late.
    std::vector<double> expected(in.size(), 0.0);
    for (size_t i = kLatency; i < in.size(); ++i) {
        double sum = 0.0;
        for (size_t k = 0; k < taps.size() && k + kLatency <= i; ++k)
            sum += static_cast<double>(taps[k]) / peak * in[i - kLatency - k];
        expected[i] = sum;
    }

    std::vector<float> reference;
    const std::vector<std::vector<long>> blockings = {
        {static_cast<long>(in.size())}, {1}, {64}, {4096}, {1, 7, 300, 1024, 5000, 13, 2048}};
    for (const auto& sizes : blockings) {
        CFFTFilter filter;
        filter.setCoefficients(&set);
        filter.setSamplingRate(44100.0f);
        filter.clearBuffers();
        const std::vector<float> out = runInBlocks(filter, in, sizes);
        EXPECT_EQ(filter.getNumTaps(), 700);
        if (reference.empty()) {
            reference = out;
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_NEAR(out[i], expected[i], 2e-6) << i;
        } else {
            // Bit for bit: the frame does not depend on block boundaries.
            ASSERT_EQ(0, std::memcmp(out.data(), reference.data(), out.size() * sizeof(float)));
        }
    }
}

TEST(FFTFilter, TapCountAndSingleTapResponse) {
    // A single tap of 0.5 is normalised to 1.0: every pair is 1 + 0j except pair 0, (1, 1).
    {
        CFilterCoefficients set;
        fillSet(set, 48000.0f, {0.5f});
        CFFTFilter filter;
        filter.setCoefficients(&set);
        design(filter, 48000.0f);
        for (int i = 0; i <= 1024; ++i)
            EXPECT_EQ(filter.getResponse()[i], 1.0) << i;
        for (int i = 1025; i < 2048; ++i)
            EXPECT_EQ(filter.getResponse()[i], 0.0) << i;
    }
    // 1500 taps are used as 1024: the large taps beyond would change both the normalisation
    // and the impulse response.
    {
        std::vector<float> taps = tapsWithoutDcAndNyquist(1024, 3);
        taps.resize(1500, 5.0f);
        CFilterCoefficients set;
        fillSet(set, 48000.0f, taps);
        float peak = 0.0f;
        for (int i = 0; i < 1024; ++i)
            peak = std::max(peak, taps[i]);

        CFFTFilter filter;
        filter.setCoefficients(&set);
        filter.setSamplingRate(48000.0f);
        filter.clearBuffers();
        std::vector<float> impulse(5000, 0.0f);
        impulse[0] = 1.0f;
        const std::vector<float> out = runInBlocks(filter, impulse, {64});
        EXPECT_EQ(filter.getNumTaps(), 1024);
        for (size_t i = 0; i < out.size(); ++i) {
            const double expected =
                i >= 1024 && i < 2048 ? static_cast<double>(taps[i - 1024]) / peak : 0.0;
            ASSERT_NEAR(out[i], expected, 1e-6) << i;
        }
    }
}

TEST(FFTFilter, FramingAndRedesignOnlyOnRateChange) {
    Counting<CFFTFilter> filter;
    const std::vector<float> in = noise(8192, 5);

    // Straight after construction the first frame takes 2048 samples: 2048 zeros come out.
    const std::vector<float> first = runInBlocks(filter, in, {100});
    EXPECT_EQ(filter.designs, 1);
    for (size_t i = 0; i < 2048; ++i)
        ASSERT_EQ(first[i], 0.0f) << i;
    for (size_t i = 2048; i < in.size(); ++i)
        ASSERT_EQ(first[i], in[i - kLatency]) << i;

    // clearBuffers restarts the frame at 1024: the first 1024 outputs are zero.
    filter.clearBuffers();
    const std::vector<float> again = runInBlocks(filter, in, {1});
    for (size_t i = 0; i < 1024; ++i)
        ASSERT_EQ(again[i], 0.0f) << i;
    for (size_t i = 1024; i < in.size(); ++i)
        ASSERT_EQ(again[i], in[i - kLatency]) << i;

    // The rate already designed causes no redesign; another rate causes one, at the next block.
    filter.setSamplingRate(48000.0f);
    filter.setSamplingRate(48000.0f);
    runInBlocks(filter, in, {512});
    EXPECT_EQ(filter.designs, 1);
    filter.setSamplingRate(96000.0f);
    EXPECT_EQ(filter.designs, 1);
    EXPECT_EQ(filter.getSamplingRate(), 48000.0f);
    runInBlocks(filter, in, {512});
    EXPECT_EQ(filter.designs, 2);
    EXPECT_EQ(filter.getSamplingRate(), 96000.0f);
    filter.setSamplingRate(96000.0f);
    runInBlocks(filter, in, {512});
    EXPECT_EQ(filter.designs, 2);

    // Rates that cannot be designed for are not taken.
    for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        filter.setSamplingRate(rate);
        const std::vector<float> out = runInBlocks(filter, in, {4096});
        EXPECT_EQ(filter.getRequestedRate(), 96000.0f);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v));
    }
    EXPECT_EQ(filter.designs, 2);

    // Designing directly for a bad rate keeps a design, or passes through when there is none.
    CFFTFilter fresh;
    fresh.internalSetSamplingRate(std::numeric_limits<float>::quiet_NaN());
    ASSERT_TRUE(fresh.hasDesign());
    expectPassThroughResponse(fresh);
    EXPECT_EQ(fresh.getSamplingRate(), 48000.0f);
}

TEST(FFTFilter, RedesignKeepsTheFrameAndNonFiniteInputDoesNotLatch) {
    CFilterCoefficients set;
    fillSet(set, 48000.0f, noise(300, 21));
    fillSet(set, 44100.0f, noise(200, 22));
    CFFTFilter filter(true);
    filter.setCoefficients(&set);
    filter.setSamplingRate(48000.0f);
    filter.clearBuffers();

    // Silence in, silence out, also across a redesign in mid-frame (no clearBuffers).
    std::vector<float> silence(1500, 0.0f);
    for (float v : runInBlocks(filter, silence, {1500}))
        ASSERT_EQ(v, 0.0f);
    filter.setSamplingRate(44100.0f);
    silence.assign(6000, 0.0f);
    for (float v : runInBlocks(filter, silence, {256}))
        ASSERT_EQ(v, 0.0f);

    // NaN and infinity are flushed with their frame; the filter then works on as before.
    CFilterCoefficients pair;
    fillSet(pair, 48000.0f, {1.0f, 1.0f, 0.5f});
    CFFTFilter reference, damaged;
    for (CFFTFilter* f : {&reference, &damaged}) {
        f->setCoefficients(&pair);
        f->setSamplingRate(48000.0f);
        f->clearBuffers();
    }
    std::vector<float> in = noise(20000, 23);
    const std::vector<float> clean = runInBlocks(reference, in, {64});
    in[3000] = std::numeric_limits<float>::quiet_NaN();
    in[9000] = std::numeric_limits<float>::infinity();
    in[9001] = -std::numeric_limits<float>::infinity();
    const std::vector<float> out = runInBlocks(damaged, in, {64});
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_TRUE(std::isfinite(out[i])) << i;
    for (size_t i = 0; i < 3000; ++i)
        ASSERT_EQ(out[i], clean[i]) << i;
    // Two frames after the last bad sample nothing of it is left.
    for (size_t i = 9001 + 3 * 1024; i < out.size(); ++i)
        ASSERT_EQ(out[i], clean[i]) << i;

    // Finite input at the edge of the float range stays finite even where the gain exceeds 1.
    CFFTFilter loud;
    loud.setCoefficients(&pair);
    loud.setSamplingRate(48000.0f);
    loud.clearBuffers();
    const std::vector<float> big(8192, FLT_MAX);
    const std::vector<float> loudOut = runInBlocks(loud, big, {4096});
    for (float v : loudOut)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(loudOut.back(), FLT_MAX);
}

TEST(FFTFilter, MinimumPhaseStepMatchesDirectTransforms) {
    const std::vector<float> taps = noise(64, 31);
    CFilterCoefficients set;
    fillSet(set, 48000.0f, taps);
    CFFTFilter filter;
    filter.setMinPhase(true);
    EXPECT_TRUE(filter.getMinPhase());
    filter.setCoefficients(&set);
    design(filter, 48000.0f);

    // Reference by direct transforms: magnitudes of the pairs (pair 0 is elements 0 and 1024),
    // inverse, fold with the DC term doubled too, forward, exponentiate.
    float peak = 0.0f;
    for (float t : taps)
        peak = std::max(peak, t);
    std::vector<double> ir(2048, 0.0);
    for (size_t i = 0; i < taps.size(); ++i)
        ir[i] = static_cast<double>(taps[i]) / peak;
    std::vector<double> spectrum = fftref::packedDft(ir);
    std::vector<double> magnitude(2048, 0.0);
    for (int k = 0; k < 1024; ++k)
        magnitude[k] = std::hypot(spectrum[k], spectrum[1024 + k]);
    std::vector<double> folded = fftref::packedInverse(magnitude);
    for (int i = 0; i < 1024; ++i) {
        folded[i] *= 2.0;
        folded[1024 + i] = 0.0;
    }
    const std::vector<double> exponent = fftref::packedDft(folded);
    for (int k = 0; k < 1024; ++k) {
        const double m = std::exp(exponent[k]);
        EXPECT_NEAR(filter.getResponse()[k], m * std::cos(exponent[1024 + k]), 1e-9 * m) << k;
        EXPECT_NEAR(filter.getResponse()[1024 + k], m * std::sin(exponent[1024 + k]), 1e-9 * m)
            << k;
    }
}
