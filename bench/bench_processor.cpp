// The whole processor at 48 kHz on 512-frame blocks: nanoseconds per sample frame for the matrix
// alone, for factory program 0 (LF filters and the "2.3cm" correction set) and for every stage,
// beside a plain four-channel copy. Also the heap one instance holds.

#include "core/XeTetra.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <malloc.h>
#include <memory>
#include <random>
#include <vector>

namespace {
constexpr int kFrames = 512;

struct Buffers {
    Buffers() : in(4, std::vector<float>(kFrames)), out(in) {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (auto& channel : in)
            for (float& s : channel)
                s = uniform(random);
        for (int k = 0; k < 4; ++k) {
            inputs[k] = in[static_cast<size_t>(k)].data();
            outputs[k] = out[static_cast<size_t>(k)].data();
        }
    }
    std::vector<std::vector<float>> in, out;
    float* inputs[4];
    float* outputs[4];
};

std::unique_ptr<AXeTetra> makeProcessor() {
    auto processor =
        std::make_unique<AXeTetra>(nullptr, CCalibrationPaths::only("/nonexistent/xetetra-bench"));
    processor->setSampleRate(48000.0f);
    return processor;
}

void run(benchmark::State& state, AXeTetra& processor) {
    Buffers buffers;
    // The first block designs the correction filters; time the steady state only.
    processor.processReplacing(buffers.inputs, buffers.outputs, kFrames);
    for (auto _ : state) {
        processor.processReplacing(buffers.inputs, buffers.outputs, kFrames);
        benchmark::DoNotOptimize(buffers.out[0].data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_CopyFourChannels(benchmark::State& state) {
    Buffers buffers;
    for (auto _ : state) {
        for (int k = 0; k < 4; ++k)
            std::memcpy(buffers.outputs[k], buffers.inputs[k], kFrames * sizeof(float));
        benchmark::DoNotOptimize(buffers.out[0].data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_MatrixOnly(benchmark::State& state) {
    auto processor = makeProcessor();
    processor->setProgram(2);
    processor->setParameter(kLFCutFreq, 0.0f);
    run(state, *processor);
}

void BM_Program0(benchmark::State& state) {
    auto processor = makeProcessor();
    processor->setProgram(0);
    run(state, *processor);
}

void BM_EveryStage(benchmark::State& state) {
    auto processor = makeProcessor();
    processor->setProgram(0);
    processor->setParameter(kEQsEnabled, 1.0f);
    for (int c = 0; c < 4; ++c) {
        processor->setParameter(kCapsuleBase + 7 * c, 0.6f);
        processor->setParameter(kCapsuleBase + 7 * c + 1, 0.2f);
        processor->setParameter(kCapsuleBase + 7 * c + 2, 0.7f);
    }
    run(state, *processor);
}

// Heap held by one instance once its correction filters are designed, in bytes.
void BM_HeapPerInstance(benchmark::State& state) {
    size_t held = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto processor = makeProcessor();
        Buffers buffers;
        processor->processReplacing(buffers.inputs, buffers.outputs, kFrames);
        processor->setProgram(1);
        processor->processReplacing(buffers.inputs, buffers.outputs, kFrames);
        held = mallinfo2().uordblks - before - 2 * 4 * kFrames * sizeof(float);
        benchmark::DoNotOptimize(processor.get());
    }
    state.counters["heap_bytes"] = static_cast<double>(held);
}
} // namespace

BENCHMARK(BM_CopyFourChannels);
BENCHMARK(BM_MatrixOnly);
BENCHMARK(BM_Program0);
BENCHMARK(BM_EveryStage);
BENCHMARK(BM_HeapPerInstance)->Iterations(3);
