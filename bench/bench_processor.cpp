// The whole processor at 48 kHz on 512-frame blocks: nanoseconds per sample frame for the matrix
// alone, for factory program 0 (LF filters and the "2.3cm" correction set), for program 0 with
// the output meters on and for the meters alone, and for every stage, beside a plain
// four-channel copy and, where FFTW is installed, beside the correction sets' work done by FFTW
// (single precision, overlap-save of four channels, 2048 points, hop 1024). Also the heap one
// instance holds.

#include "BenchBuffers.h"

#include <benchmark/benchmark.h>

#if defined(XETETRA_BENCH_FFTW)
#include <fftw3.h>
#endif

#include <algorithm>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <random>
#include <vector>

namespace {
constexpr int kFrames = 512;

std::unique_ptr<AXeTetra> makeProcessor() {
    return makeBenchProcessor();
}

void run(benchmark::State& state, AXeTetra& processor) {
    CBenchBuffers buffers(kFrames);
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
    CBenchBuffers buffers(kFrames);
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

// Program 0 with the output meters measuring, as while an editor shows them.
void BM_Program0WithMeters(benchmark::State& state) {
    auto processor = makeProcessor();
    processor->setProgram(0);
    processor->setParameter(kDisplayVU, 1.0f);
    run(state, *processor);
}

// The meters alone, on one block of the four outputs.
void BM_OutputMeters(benchmark::State& state) {
    CBenchBuffers buffers(kFrames);
    COutputMeters meters;
    meters.setSampleRate(48000.0f);
    meters.setEnabled(true);
    for (auto _ : state) {
        meters.process(buffers.inputs, kFrames);
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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

#if defined(XETETRA_BENCH_FFTW)
// Four channels of 512-frame blocks through an overlap-save convolution done by FFTW: each
// channel's frame of 2048 samples transformed, multiplied by a response, transformed back, and
// the newer half kept, every 1024 samples.
void BM_FFTWOverlapSaveReference(benchmark::State& state) {
    constexpr int kSize = 2048, kHop = 1024;
    CBenchBuffers buffers(kFrames);
    float* frame = fftwf_alloc_real(kSize);
    float* result = fftwf_alloc_real(kSize);
    fftwf_complex* spectrum = fftwf_alloc_complex(kSize / 2 + 1);
    fftwf_complex* response = fftwf_alloc_complex(kSize / 2 + 1);
    const fftwf_plan forward = fftwf_plan_dft_r2c_1d(kSize, frame, spectrum, FFTW_MEASURE);
    const fftwf_plan inverse = fftwf_plan_dft_c2r_1d(kSize, spectrum, result, FFTW_MEASURE);
    for (int k = 0; k <= kSize / 2; ++k) {
        response[k][0] = 1.0f / kSize;
        response[k][1] = 0.0f;
    }
    std::vector<std::vector<float>> input(4, std::vector<float>(kSize, 0.0f));
    std::vector<std::vector<float>> output(4, std::vector<float>(kHop, 0.0f));
    int position = kHop;
    for (auto _ : state) {
        for (long done = 0; done < kFrames;) {
            const long run = std::min<long>(kSize - position, kFrames - done);
            for (int c = 0; c < 4; ++c)
                for (long i = 0; i < run; ++i) {
                    input[c][position + i] = buffers.inputs[c][done + i];
                    buffers.outputs[c][done + i] = output[c][position - kHop + i];
                }
            position += static_cast<int>(run);
            done += run;
            if (position < kSize) continue;
            for (int c = 0; c < 4; ++c) {
                std::copy(input[c].begin(), input[c].end(), frame);
                fftwf_execute(forward);
                for (int k = 0; k <= kSize / 2; ++k) {
                    const float re =
                        spectrum[k][0] * response[k][0] - spectrum[k][1] * response[k][1];
                    const float im =
                        spectrum[k][0] * response[k][1] + spectrum[k][1] * response[k][0];
                    spectrum[k][0] = re;
                    spectrum[k][1] = im;
                }
                fftwf_execute(inverse);
                std::copy(result + kHop, result + kSize, output[c].begin());
                std::copy(input[c].begin() + kHop, input[c].end(), input[c].begin());
            }
            position = kHop;
        }
        benchmark::DoNotOptimize(buffers.out[0].data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    fftwf_destroy_plan(forward);
    fftwf_destroy_plan(inverse);
    fftwf_free(frame);
    fftwf_free(result);
    fftwf_free(spectrum);
    fftwf_free(response);
}
BENCHMARK(BM_FFTWOverlapSaveReference);
#endif

// Heap held by one instance once its correction filters are designed, in bytes.
void BM_HeapPerInstance(benchmark::State& state) {
    size_t held = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto processor = makeProcessor();
        CBenchBuffers buffers(kFrames);
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
BENCHMARK(BM_Program0WithMeters);
BENCHMARK(BM_OutputMeters);
BENCHMARK(BM_EveryStage);
BENCHMARK(BM_HeapPerInstance)->Iterations(3);
