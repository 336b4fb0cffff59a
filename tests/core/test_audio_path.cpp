#include "TestProcessor.h"

#include <gtest/gtest.h>

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
        for (float& s : channel)
            s = uniform(random);
    return block;
}

// Runs the input through the processor in blocks of the given sizes (cycled) into a copy.
Block processInBlocks(AXeTetra& processor, Block input, const std::vector<long>& sizes) {
    Block output(static_cast<long>(input.data[0].size()));
    const long total = static_cast<long>(input.data[0].size());
    size_t which = 0;
    for (long start = 0; start < total;) {
        const long n = std::min(sizes[which++ % sizes.size()], total - start);
        float* in[4];
        float* out[4];
        for (int k = 0; k < 4; ++k) {
            in[k] = input.data[static_cast<size_t>(k)].data() + start;
            out[k] = output.data[static_cast<size_t>(k)].data() + start;
        }
        processor.processReplacing(in, out, static_cast<VstInt32>(n));
        start += n;
    }
    return output;
}

void useUserProgram(AXeTetra& processor) {
    processor.setProgram(2);
    processor.setParameter(kLFCutFreq, 0.0f);
}
} // namespace

TEST(AudioPath, AllStagesOffPassesTheInput) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setSampleRate(48000.0f);
    useUserProgram(processor);
    processor.setParameter(kABMatrixEnabled, 0.0f);
    Block input = randomBlock(1000, 1);
    Block output = processInBlocks(processor, input, {1000});
    EXPECT_EQ(output.data, input.data);
}

TEST(AudioPath, MatrixIdentity) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setSampleRate(48000.0f);
    useUserProgram(processor);
    Block input = randomBlock(4096, 2);
    Block output = processInBlocks(processor, input, {4096});
    for (size_t i = 0; i < 4096; ++i) {
        const double a = input.data[0][i], b = input.data[1][i], c = input.data[2][i],
                     d = input.data[3][i];
        EXPECT_NEAR(output.data[0][i], (a + b + c + d) / std::sqrt(2.0), 1e-6);
        EXPECT_NEAR(output.data[1][i], a + b - c - d, 1e-6);
        EXPECT_NEAR(output.data[2][i], a - b + c - d, 1e-6);
        EXPECT_NEAR(output.data[3][i], a - b - c + d, 1e-6);
    }
}

TEST(AudioPath, CorrectionSetRunsWithoutTheMatrixAndDelaysBy1024) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setSampleRate(48000.0f);
    useUserProgram(processor);
    processor.setParameter(kABMatrixEnabled, 0.0f);
    processor.setParameter(kPostMatrixFilter, filter2parm(1));
    EXPECT_EQ(processor.getAeffect()->initialDelay, 1024);
    Block input(8192);
    for (int k = 0; k < 4; ++k)
        input.data[static_cast<size_t>(k)][100] = 1.0f;
    Block output = processInBlocks(processor, input, {512});
    for (int k = 0; k < 4; ++k) {
        const auto& channel = output.data[static_cast<size_t>(k)];
        size_t peak = 0;
        for (size_t i = 0; i < channel.size(); ++i)
            if (std::fabs(channel[i]) > std::fabs(channel[peak])) peak = i;
        EXPECT_EQ(peak, 100u + 1024u) << k;
        for (size_t i = 0; i < 100 + 1024; ++i)
            EXPECT_LT(std::fabs(channel[i]), 1e-3f);
    }
}

TEST(AudioPath, EqualiserStageOffIgnoresEqualiserSettings) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    TestXeTetra reference(nullptr, noCalibrations(scratch));
    for (AXeTetra* p : {static_cast<AXeTetra*>(&processor), static_cast<AXeTetra*>(&reference)}) {
        p->setSampleRate(48000.0f);
        useUserProgram(*p);
    }
    processor.setParameter(14, 0.6f);
    processor.setParameter(16, 1.0f);
    Block input = randomBlock(2048, 3);
    EXPECT_EQ(processInBlocks(processor, input, {2048}).data,
              processInBlocks(reference, input, {2048}).data);
    processor.setParameter(kEQsEnabled, 1.0f);
    EXPECT_NE(processInBlocks(processor, input, {2048}).data,
              processInBlocks(reference, input, {2048}).data);
}

TEST(AudioPath, BlockBoundariesAndInPlaceProcessingDoNotMatter) {
    TempDirectory scratch;
    Block input = randomBlock(20000, 4);
    std::vector<std::vector<std::vector<float>>> results;
    for (const std::vector<long>& sizes :
         std::vector<std::vector<long>>{{20000}, {1}, {64}, {4096}, {7, 1000, 1, 333}}) {
        TestXeTetra processor(nullptr, noCalibrations(scratch));
        processor.setSampleRate(48000.0f);
        processor.setParameter(kEQsEnabled, 1.0f);
        processor.setParameter(16, 0.8f);
        results.push_back(processInBlocks(processor, input, sizes).data);
    }
    for (size_t r = 1; r < results.size(); ++r)
        EXPECT_EQ(results[r], results[0]) << r;

    TestXeTetra inPlace(nullptr, noCalibrations(scratch));
    inPlace.setSampleRate(48000.0f);
    inPlace.setParameter(kEQsEnabled, 1.0f);
    inPlace.setParameter(16, 0.8f);
    Block buffers = input;
    inPlace.processReplacing(buffers.pointers(), buffers.pointers(), 20000);
    EXPECT_EQ(buffers.data, results[0]);
}

TEST(AudioPath, OutputBuffersSharedCrosswiseWithInputs) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    TestXeTetra reference(nullptr, noCalibrations(scratch));
    useUserProgram(processor);
    useUserProgram(reference);
    Block input = randomBlock(256, 5);
    Block expected = processInBlocks(reference, input, {256});
    // Output k is the buffer that holds input 3 - k.
    Block shared = input;
    float* in[4];
    float* out[4];
    for (int k = 0; k < 4; ++k)
        in[k] = shared.data[static_cast<size_t>(k)].data();
    for (int k = 0; k < 4; ++k)
        out[k] = in[3 - k];
    processor.processReplacing(in, out, 256);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(shared.data[static_cast<size_t>(3 - k)], expected.data[static_cast<size_t>(k)]);
}

TEST(AudioPath, HostileInputAndSettingsNeverReachTheOutput) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setSampleRate(48000.0f);
    processor.setParameter(kEQsEnabled, 1.0f);
    Block input = randomBlock(4096, 6);
    input.data[1][10] = std::nanf("");
    input.data[2][20] = std::numeric_limits<float>::infinity();
    Block output = processInBlocks(processor, input, {512});
    for (const auto& channel : output.data)
        for (float s : channel)
            EXPECT_TRUE(std::isfinite(s));
    // The filters recover: clean input gives a clean, non-silent output again.
    Block clean = randomBlock(8192, 7);
    Block after = processInBlocks(processor, clean, {512});
    float energy = 0.0f;
    for (size_t i = 4096; i < 8192; ++i)
        energy += std::fabs(after.data[0][i]);
    EXPECT_GT(energy, 1.0f);

    for (int index = 0; index < kNumParams; ++index)
        for (float value : {100.0f, -100.0f, 1e30f}) {
            processor.setParameter(index, value);
            Block hostile = processInBlocks(processor, randomBlock(300, 8), {300});
            for (const auto& channel : hostile.data)
                for (float s : channel)
                    ASSERT_TRUE(std::isfinite(s)) << index << " " << value;
        }
}

TEST(AudioPath, OddBlockLengthsAndPointers) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    Block block = randomBlock(16, 9);
    Block before = block;
    processor.processReplacing(block.pointers(), block.pointers(), 0);
    processor.processReplacing(block.pointers(), block.pointers(), -5);
    EXPECT_EQ(block.data, before.data);
    processor.processReplacing(nullptr, block.pointers(), 16);
    for (const auto& channel : block.data)
        for (float s : channel)
            EXPECT_EQ(s, 0.0f);
    processor.processReplacing(block.pointers(), nullptr, 16);
    Block large = randomBlock(1 << 20, 10);
    processor.processReplacing(large.pointers(), large.pointers(), 1 << 20);
    for (const auto& channel : large.data)
        for (float s : {channel.front(), channel.back()})
            EXPECT_TRUE(std::isfinite(s));
}

#if defined(__SSE__)
TEST(AudioPath, DenormalModeIsRestoredAndNoSubnormalLeaves) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setSampleRate(48000.0f);
    processor.setParameter(kEQsEnabled, 1.0f);
    processor.setParameter(16, 0.9f);
    const unsigned int mode = _mm_getcsr();
    Block impulse(48000);
    impulse.data[0][0] = 1.0f;
    Block output = processInBlocks(processor, impulse, {512});
    EXPECT_EQ(_mm_getcsr(), mode);
    for (const auto& channel : output.data)
        for (float s : channel)
            EXPECT_NE(std::fpclassify(s), FP_SUBNORMAL);
}
#endif
