// The coincidence filter's two costs: one design (it runs on the audio thread, inside the first
// block after a change of rate) and steady-state filtering, beside a plain copy as the floor.

#include "dsp/CoincidenceFilter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr long kBlock = 512;

std::vector<float> noise(size_t n) {
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x)
        v = uniform(generator);
    return x;
}

void BM_CoincidenceDesign48k(benchmark::State& state) {
    CCoincidenceFilter filter(static_cast<int>(state.range(0)), 1.47f, 1.0f);
    for (auto _ : state) {
        filter.internalSetSamplingRate(48000.0f);
        benchmark::DoNotOptimize(filter.getResponse()[42]);
    }
}
BENCHMARK(BM_CoincidenceDesign48k)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Every block starts from fresh noise: fed its own output again and again, the signal would
// decay into the subnormal range and measure something else.
void BM_CoincidenceFilter512(benchmark::State& state) {
    CCoincidenceFilter filter(1, 1.47f, 1.0f);
    filter.setSamplingRate(48000.0f);
    filter.clearBuffers();
    const std::vector<float> source = noise(kBlock);
    std::vector<float> block(kBlock);
    // Design outside the timing.
    std::memcpy(block.data(), source.data(), kBlock * sizeof(float));
    filter.doFilter(block.data(), kBlock);
    for (auto _ : state) {
        std::memcpy(block.data(), source.data(), kBlock * sizeof(float));
        filter.doFilter(block.data(), kBlock);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_CoincidenceFilter512);

// The floor: the same copy of the block, without the filter.
void BM_CopyBlock512(benchmark::State& state) {
    const std::vector<float> source = noise(kBlock);
    std::vector<float> block(kBlock);
    for (auto _ : state) {
        std::memcpy(block.data(), source.data(), kBlock * sizeof(float));
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_CopyBlock512);

} // namespace
