// Load time: constructing the processor with a calibrations directory of six calibrations (three
// text ones with IIR coefficient files, three tetraproc ones), with an empty one, and with none
// in any of the places the environment gives, as a host does when it creates the plug-in or scans
// it. Also the heap one instance holds in either case,
// just built and once its correction filters have been designed by a first block.

#include "core/XeTetra.h"
#include "tests/support/SampleCalibrations.h"
#include "tests/support/TempDirectory.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <memory>
#include <vector>

namespace {

struct Directories {
    Directories() {
        six.makeDirectory("calibrations");
        none.makeDirectory("calibrations");
        written = samplecal::writeSixCalibrations(six.file("calibrations"));
    }
    TempDirectory six;
    TempDirectory none;
    bool written = false;
};

const Directories& directories() {
    static const Directories instance;
    return instance;
}

std::string calibrationsOf(const TempDirectory& directory) {
    return directory.file("calibrations");
}

void load(benchmark::State& state, const std::string& calibrations) {
    if (!directories().written) {
        state.SkipWithError("could not write the calibrations");
        return;
    }
    for (auto _ : state) {
        auto processor = std::make_unique<AXeTetra>(nullptr, CCalibrationPaths::only(calibrations));
        benchmark::DoNotOptimize(processor.get());
        state.PauseTiming();
        processor.reset();
        state.ResumeTiming();
    }
}

void BM_LoadWithSixCalibrations(benchmark::State& state) {
    load(state, calibrationsOf(directories().six));
}

void BM_LoadWithNoCalibrations(benchmark::State& state) {
    load(state, calibrationsOf(directories().none));
}

// The common case on Linux: the places come from the environment (read at every construction)
// and none exists, so every one is tried and the notice names them all.
void BM_LoadSearchingEveryPlace(benchmark::State& state) {
    const std::string home = directories().none.path();
    setenv("HOME", home.c_str(), 1);
    unsetenv("XETETRA_CALIBRATIONS");
    unsetenv("XDG_DATA_HOME");
    setenv("XDG_DATA_DIRS", (home + "/local:" + home + "/share").c_str(), 1);
    for (auto _ : state) {
        auto processor = std::make_unique<AXeTetra>(nullptr, CCalibrationPaths::defaults());
        benchmark::DoNotOptimize(processor.get());
        state.PauseTiming();
        processor.reset();
        state.ResumeTiming();
    }
}

// Heap held by one instance, in bytes: right after construction, and after a first block at
// 48 kHz with each correction set selected (each designs its four filters then).
void heap(benchmark::State& state, const std::string& calibrations) {
    size_t built = 0, designed = 0;
    std::vector<float> samples(4 * 512, 0.0f);
    float* channels[4] = {&samples[0], &samples[512], &samples[1024], &samples[1536]};
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto processor = std::make_unique<AXeTetra>(nullptr, CCalibrationPaths::only(calibrations));
        built = mallinfo2().uordblks - before;
        processor->setSampleRate(48000.0f);
        for (int set = 1; set <= 2; ++set) {
            processor->setParameter(kPostMatrixFilter, filter2parm(set));
            processor->processReplacing(channels, channels, 512);
        }
        designed = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(processor.get());
    }
    state.counters["heap_built_bytes"] = static_cast<double>(built);
    state.counters["heap_designed_bytes"] = static_cast<double>(designed);
}

void BM_HeapPerInstanceWithSixCalibrations(benchmark::State& state) {
    heap(state, calibrationsOf(directories().six));
}

void BM_HeapPerInstanceWithNoCalibrations(benchmark::State& state) {
    heap(state, calibrationsOf(directories().none));
}

} // namespace

BENCHMARK(BM_LoadWithSixCalibrations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWithNoCalibrations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSearchingEveryPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeapPerInstanceWithSixCalibrations)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeapPerInstanceWithNoCalibrations)->Iterations(3)->Unit(benchmark::kMillisecond);
