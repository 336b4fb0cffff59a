// What a settings change costs the audio thread: the first block after a sample-rate change and
// after a post-matrix set switch, beside an ordinary block, all with factory program 0 (LF
// filters, matrix and the "2.3cm" correction set) on 256-frame blocks. Only processReplacing is
// timed; the control calls between blocks are not.

#include "BenchBuffers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <random>
#include <vector>

namespace {
constexpr int kFrames = 256;

std::unique_ptr<AXeTetra> makeProcessor() {
    auto processor = makeBenchProcessor();
    processor->setProgram(0);
    return processor;
}

void processBlocks(AXeTetra& processor, CBenchBuffers& buffers, int blocks) {
    for (int i = 0; i < blocks; ++i)
        processor.processReplacing(buffers.inputs, buffers.outputs, kFrames);
}

// Runs `between` (untimed) before every timed block; a few ordinary blocks follow each change so
// that any crossfade it starts has ended before the next change.
template <typename Between> void timeFirstBlocks(benchmark::State& state, Between between) {
    auto processor = makeProcessor();
    CBenchBuffers buffers(kFrames, 3);
    processBlocks(*processor, buffers, 16);
    long change = 0;
    for (auto _ : state) {
        between(*processor, buffers, change++);
        const auto start = std::chrono::steady_clock::now();
        processor->processReplacing(buffers.inputs, buffers.outputs, kFrames);
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        benchmark::DoNotOptimize(buffers.out[0].data());
        processBlocks(*processor, buffers, 8);
    }
}

// The mean of four consecutive blocks: a correction set transforms a frame every fourth block.
void BM_OrdinaryBlock(benchmark::State& state) {
    auto processor = makeProcessor();
    CBenchBuffers buffers(kFrames, 3);
    processBlocks(*processor, buffers, 16);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        processBlocks(*processor, buffers, 4);
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count() / 4.0);
        benchmark::DoNotOptimize(buffers.out[0].data());
    }
}

void BM_FirstBlockAfterRateChange(benchmark::State& state) {
    timeFirstBlocks(state, [](AXeTetra& processor, CBenchBuffers&, long change) {
        processor.setSampleRate(change % 2 == 0 ? 44100.0f : 48000.0f);
    });
}

void BM_FirstBlockAfterSetSwitch(benchmark::State& state) {
    // From "None" to "2.3cm", which has not yet run at the rate it is selected for.
    timeFirstBlocks(state, [](AXeTetra& processor, CBenchBuffers& buffers, long change) {
        processor.setParameter(kPostMatrixFilter, 0.0f);
        processor.setSampleRate(change % 2 == 0 ? 44100.0f : 48000.0f);
        processBlocks(processor, buffers, 8);
        processor.setParameter(kPostMatrixFilter, 0.3f);
    });
}

void BM_FirstBlockAfterSetChange(benchmark::State& state) {
    // Between the two correction sets, both ready at the rate: the switch alone.
    timeFirstBlocks(state, [](AXeTetra& processor, CBenchBuffers&, long change) {
        processor.setParameter(kPostMatrixFilter, change % 2 == 0 ? 0.15f : 0.3f);
    });
}
} // namespace

BENCHMARK(BM_OrdinaryBlock)->UseManualTime();
BENCHMARK(BM_FirstBlockAfterRateChange)->UseManualTime();
BENCHMARK(BM_FirstBlockAfterSetSwitch)->UseManualTime();
BENCHMARK(BM_FirstBlockAfterSetChange)->UseManualTime();
