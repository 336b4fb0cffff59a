// The processor's audio path called directly. Through the host record, the stage switches, the
// matrix, the factory filters, block sizes, in-place and crosswise buffers, empty and missing
// buffers are checked by the integration suite.

#include "TestProcessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {
Block randomBlock(long frames, unsigned seed) {
    Block block(frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (auto& channel : block.data)
        std::generate(channel.begin(), channel.end(), [&] { return uniform(random); });
    return block;
}

// Runs the signal through the processor in place, in blocks of `size`.
Block process(AXeTetra& processor, Block signal, long size) {
    const long total = static_cast<long>(signal.data[0].size());
    for (long start = 0; start < total; start += size) {
        float* channels[4];
        for (size_t k = 0; k < 4; ++k)
            channels[k] = signal.data[k].data() + start;
        processor.processReplacing(channels, channels,
                                   static_cast<VstInt32>(std::min(size, total - start)));
    }
    return signal;
}

} // namespace

// Selecting the set already selected keeps its memory; a round trip through another clears it.
TEST(AudioPath, SetSelectionClearsOnlyWhenTheSetChanges) {
    TestXeTetra processor;
    processor.setSampleRate(48000.0f);
    processor.setParameter(kABMatrixEnabled, 0.0f);
    processor.setParameter(kLFEnabled, 0.0f);
    for (bool roundTrip : {false, true}) {
        Block impulse(512);
        impulse.data[0][0] = 1.0f;
        processor.processReplacing(impulse.pointers(), impulse.pointers(), 512);
        if (roundTrip) processor.SetCoincidenceFilter(1);
        processor.SetCoincidenceFilter(2);
        Block silence(2048);
        processor.processReplacing(silence.pointers(), silence.pointers(), 2048);
        float energy = 0.0f;
        for (float s : silence.data[0])
            energy += s * s;
        EXPECT_EQ(energy > 0.0f, !roundTrip);
    }
}

// Any parameter value through the host record is the record fuzzer's (tests/fuzz).
TEST(AudioPath, HostileInputAndSampleRatesNeverReachTheOutput) {
    TestXeTetra processor;
    processor.setSampleRate(48000.0f);
    processor.setParameter(kEQsEnabled, 1.0f);
    Block input = randomBlock(4096, 6);
    input.data[1][10] = std::nanf("");
    input.data[2][20] = INFINITY;
    for (const auto& channel : process(processor, input, 512).data)
        for (float s : channel)
            ASSERT_TRUE(std::isfinite(s));
    // The filters recover: clean input gives a clean, non-silent output again.
    Block after = process(processor, randomBlock(8192, 7), 512);
    float energy = 0.0f;
    for (size_t i = 4096; i < 8192; ++i)
        energy += std::fabs(after.data[0][i]);
    EXPECT_GT(energy, 1.0f);

    // Rates no filter can be designed for are refused.
    for (float rate : {0.0f, -44100.0f, std::nanf("")})
        processor.setSampleRate(rate);
    EXPECT_EQ(processor.getSampleRate(), 48000.0f);
}

#if defined(__SSE__)
TEST(AudioPath, ExtremeSettingsLeaveNoSubnormalAndRestoreTheFloatingPointMode) {
    // Program 0 as it stands, then LF and EQ at the ends of their ranges and far beyond, and a
    // narrow EQ at the top with the 1.47 cm correction.
    const float far = 3e38f;
    const std::vector<std::vector<std::pair<int, float>>> cases = {
        {},
        {{kLFCutFreq, 0.0f}, {kLFBoostFreq, 1.0f}, {kEQsEnabled, 1.0f}, {14, 1.0f}, {15, 0.0f}},
        {{kLFCutFreq, far}, {kLFBoostFreq, -far}, {kEQsEnabled, 1.0f}, {14, far}, {15, far}},
        {{kPostMatrixFilter, filter2parm(1)}, {kEQsEnabled, 1.0f}, {14, 0.999f}, {15, 0.001f}},
    };
    // The control bits (rounding, flush-to-zero, denormals-are-zero, masks); bits 0 to 5 are
    // sticky exception flags that any inexact operation sets.
    const auto mode = [] { return _mm_getcsr() & ~0x3Fu; };
    const unsigned int savedMode = mode();
    for (size_t n = 0; n < cases.size(); ++n) {
        TestXeTetra processor;
        processor.setSampleRate(44100.0f);
        for (const auto& [index, value] : cases[n])
            processor.setParameter(index, value);
        processor.setParameter(16, 1.0f); // EQ gain +15 dB where the stage is on
        // Half a second of noise, then four seconds of silence for the tails to decay.
        Block input = randomBlock(9 * 22050, 10 + static_cast<unsigned>(n));
        for (auto& channel : input.data)
            std::fill(channel.begin() + 22050, channel.end(), 0.0f);
        const Block output = process(processor, input, 512);
        EXPECT_EQ(mode(), savedMode) << "the caller's floating-point mode was changed";
        float peak = 0.0f;
        size_t subnormal = 0;
        for (const auto& channel : output.data)
            for (float s : channel) {
                peak = std::fmax(peak, std::fabs(s));
                subnormal += std::fpclassify(s) == FP_SUBNORMAL ? 1 : 0;
            }
        EXPECT_GT(peak, 1e-3f) << "case " << n << " produced no signal";
        EXPECT_EQ(subnormal, 0u) << "case " << n;
    }
}
#endif
