// Cost per sample of the recursive blocks on 512-sample blocks, each beside a plain copy of the
// same buffers: the processor copies its inputs into the outputs and filters them in place.

#include "dsp/ABMatrix.h"
#include "dsp/LFFilter.h"
#include "dsp/MitRegFilter.h"
#include "dsp/ParaEQ3Band.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kBlock = 512;

std::vector<float> noise(size_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> out(n);
    for (auto& v : out)
        v = uniform(generator);
    return out;
}

// CPU seconds per sample of one channel ("6.7n" is 6.7 ns).
void countSamples(benchmark::State& state, int channels) {
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock * channels,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Copy1(benchmark::State& state) {
    const auto input = noise(kBlock, 1);
    std::vector<float> work(kBlock);
    for (auto _ : state) {
        std::memcpy(work.data(), input.data(), sizeof(float) * kBlock);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 1);
}
BENCHMARK(BM_Copy1);

void BM_LFFilter(benchmark::State& state) {
    const auto input = noise(kBlock, 2);
    std::vector<float> work(kBlock);
    CLFFilter lf(25.0f, 150.0f);
    lf.setSamplingRate(48000.0f);
    for (auto _ : state) {
        std::memcpy(work.data(), input.data(), sizeof(float) * kBlock);
        lf.doFilter(work.data(), kBlock);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 1);
}
BENCHMARK(BM_LFFilter);

// As the processor runs it: retuned before every block.
void BM_LFFilterRetuned(benchmark::State& state) {
    const auto input = noise(kBlock, 2);
    std::vector<float> work(kBlock);
    CLFFilter lf(25.0f, 150.0f);
    lf.setSamplingRate(48000.0f);
    for (auto _ : state) {
        std::memcpy(work.data(), input.data(), sizeof(float) * kBlock);
        lf.setFreqs(25.0f, 150.0f);
        lf.doFilter(work.data(), kBlock);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 1);
}
BENCHMARK(BM_LFFilterRetuned);

void BM_MitRegFilter(benchmark::State& state) {
    const auto input = noise(kBlock, 3);
    std::vector<float> work(kBlock);
    CMitRegFilter eq;
    eq.setParametersOctaves(1000.0f, 1.0f, 6.0f);
    for (auto _ : state) {
        std::memcpy(work.data(), input.data(), sizeof(float) * kBlock);
        eq.doFilter(work.data(), kBlock);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 1);
}
BENCHMARK(BM_MitRegFilter);

void BM_MitRegFilterRetuned(benchmark::State& state) {
    const auto input = noise(kBlock, 3);
    std::vector<float> work(kBlock);
    CMitRegFilter eq;
    for (auto _ : state) {
        std::memcpy(work.data(), input.data(), sizeof(float) * kBlock);
        eq.setParametersOctaves(1000.0f, 1.0f, 6.0f);
        eq.doFilter(work.data(), kBlock);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 1);
}
BENCHMARK(BM_MitRegFilterRetuned);

void BM_ParaEQ3Band(benchmark::State& state) {
    const auto input = noise(kBlock, 4);
    std::vector<float> work(kBlock);
    CParaEQ3Band eq(100.0f, 0.5f, 3.0f, 1000.0f, 0.5f, -3.0f, 8000.0f, 0.5f, 2.0f, 0.0f);
    for (auto _ : state) {
        std::memcpy(work.data(), input.data(), sizeof(float) * kBlock);
        eq.doFilter(work.data(), kBlock);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 1);
}
BENCHMARK(BM_ParaEQ3Band);

void BM_Copy4(benchmark::State& state) {
    std::vector<float> input[4], work[4];
    for (int c = 0; c < 4; ++c) {
        input[c] = noise(kBlock, 10 + c);
        work[c].resize(kBlock);
    }
    for (auto _ : state) {
        for (int c = 0; c < 4; ++c)
            std::memcpy(work[c].data(), input[c].data(), sizeof(float) * kBlock);
        benchmark::DoNotOptimize(work[0].data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 4);
}
BENCHMARK(BM_Copy4);

// Gains loaded before every block, as the processor does; ns/sample counts samples of all four
// channels.
void BM_ABMatrix(benchmark::State& state) {
    std::vector<float> input[4], work[4];
    for (int c = 0; c < 4; ++c) {
        input[c] = noise(kBlock, 10 + c);
        work[c].resize(kBlock);
    }
    float gains[4][4] = {{0, 1, -1, 0.5f}, {0, -2, 1, 0}, {3, 0, 0, -1}, {0, 0, 1, 2}};
    CABMatrix matrix;
    for (auto _ : state) {
        for (int c = 0; c < 4; ++c)
            std::memcpy(work[c].data(), input[c].data(), sizeof(float) * kBlock);
        matrix.setGains4x4(gains);
        matrix.setOutGains(0.0f, -1.0f, 1.0f, 0.5f);
        matrix.process(work[0].data(), work[1].data(), work[2].data(), work[3].data(), kBlock);
        benchmark::DoNotOptimize(work[0].data());
        benchmark::ClobberMemory();
    }
    countSamples(state, 4);
}
BENCHMARK(BM_ABMatrix);

} // namespace
