// The audio call is real-time safe: over thousands of blocks with every stage on, and programs,
// parameters, filter sets of every kind and sample rates changing between blocks, the shared
// object's processReplacing allocates and releases no memory, takes no lock, waits for nothing and
// makes no I/O call. That holds for every block without exception, the first after a correction
// set is selected or the rate changes included: those designs happen in the requests that cause
// them. The blocks run on a thread of their own, as in a host, not on the one that built the
// plug-in.

#include "RtProbe.h"

#include "integration/PluginFixture.h"
#include "params/ParameterConversions.h"
#include "support/SampleCalibrations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace {

// The probe counts what it must, through the global symbols a shared object binds to, and only
// on armed threads.
TEST(RealTimeProbe, SeesTheCallsOfLoadedLibraries) {
    EXPECT_EQ(rtprobe::functionsNotInterposed(), "");
    const auto globalMalloc = reinterpret_cast<void* (*)(size_t)>(dlsym(RTLD_DEFAULT, "malloc"));
    const auto globalFree = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "free"));
    const auto globalUsleep = reinterpret_cast<int (*)(useconds_t)>(dlsym(RTLD_DEFAULT, "usleep"));
    std::mutex mutex;
    rtprobe::reset();
    rtprobe::arm(true);
    globalFree(globalMalloc(64));
    mutex.lock();
    mutex.unlock();
    globalUsleep(0);
    rtprobe::arm(false);
    const rtprobe::Counts counts = rtprobe::counts();
    EXPECT_EQ(counts.calls[rtprobe::kAllocation], 2);
    EXPECT_EQ(counts.calls[rtprobe::kLock], 1);
    EXPECT_EQ(counts.calls[rtprobe::kSystemCall], 1);

    rtprobe::reset();
    std::thread([] { std::free(std::malloc(16)); }).join();
    EXPECT_EQ(rtprobe::counts().total(), 0);
}

class RealTimeSafety : public vsthost::PluginTest {};

TEST_F(RealTimeSafety, EveryBlockWhileTheHostChangesEverything) {
    const std::string calibrations = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
    ASSERT_EQ(std::system(("mkdir -p '" + calibrations + "'").c_str()), 0);
    ASSERT_TRUE(samplecal::writeSixCalibrations(calibrations)); // IIR and equaliser sets
    // Building the plug-in allocates, through the C++ operators of the shared object: the probe
    // sees it.
    rtprobe::reset();
    rtprobe::arm(true);
    auto plugin = load();
    rtprobe::arm(false);
    ASSERT_GT(rtprobe::counts().calls[rtprobe::kAllocation], 0);
    constexpr int kMaxBlock = 4096;
    plugin->start(48000.0f, kMaxBlock);
    plugin->setParameter(kPostMatrixFilter, 0.0f);

    int failures = 0;
    std::map<std::string, int> blocksPerSet;
    int designBlocks = 0, programChanges = 0, parameterChanges = 0, rateChanges = 0;
    std::thread audio([&] {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        const vsthost::Channels in = vsthost::noise(kMaxBlock, 1);
        vsthost::Channels out = in;
        static const int sizes[] = {0, 1, 7, 64, 128, 256, 500, 512, 1024, 2048, 4096};
        static const float rates[] = {44100.0f, 48000.0f, 88200.0f, 96000.0f};
        std::string lastSet;
        float rate = 48000.0f, lastRate = rate;
        for (int block = 0; block < 3000; ++block) {
            if (unit(random) < 0.08f) {
                plugin->setProgram(static_cast<int>(random() % kNumPrograms));
                ++programChanges;
            }
            for (int i = unit(random) < 0.5f ? 1 + static_cast<int>(random() % 4) : 0; i > 0; --i) {
                const float u = unit(random);
                plugin->setParameter(static_cast<int>(random() % kNumParams), u < 0.1f ? 0.0f
                                                                              : u > 0.9f
                                                                                  ? 1.0f
                                                                                  : unit(random));
                ++parameterChanges;
            }
            if (unit(random) < 0.15f) { // mostly the correction sets
                const int set = unit(random) < 0.6f ? 1 + static_cast<int>(random() % 2)
                                                    : static_cast<int>(random() % kMaxFilterSets);
                plugin->setParameter(kPostMatrixFilter, set / float(kMaxFilterSets - 1));
            }
            if (unit(random) < 0.03f) {
                const bool restart = unit(random) < 0.5f;
                rate = rates[random() % 4];
                if (restart) plugin->dispatch(effMainsChanged, 0, 0);
                plugin->setSampleRate(rate);
                if (restart) plugin->dispatch(effMainsChanged, 0, 1);
                ++rateChanges;
            }
            plugin->parameterDisplay(static_cast<VstInt32>(random() % kNumParams));
            for (int stage : {kLFEnabled, kEQsEnabled, kABMatrixEnabled, kDisplayVU})
                plugin->setParameter(stage, 1.0f);

            const std::string set = plugin->parameterDisplay(kPostMatrixFilter);
            const bool design =
                (set == "1.47cm" || set == "2.3cm") && (set != lastSet || rate != lastRate);
            designBlocks += design ? 1 : 0;
            lastSet = set;
            lastRate = rate;
            ++blocksPerSet[set];
            const int frames = sizes[random() % (sizeof(sizes) / sizeof(sizes[0]))];
            rtprobe::reset();
            rtprobe::arm(true);
            plugin->processBlock(in, out, 0, frames);
            rtprobe::arm(false);
            if (rtprobe::counts().total() != 0 && ++failures <= 3)
                ADD_FAILURE() << "block " << block << " (" << frames << " frames, set \"" << set
                              << (design ? "\", the first after a design" : "\"")
                              << "): " << rtprobe::describeCalls();
        }
    });
    audio.join();
    // The run covered what it claims: every kind of set, designs at several rates, and enough
    // host requests between blocks.
    for (const char* set : {"1.47cm", "2.3cm", "TextA", "TetraD"})
        EXPECT_GT(blocksPerSet[set], 10) << set;
    EXPECT_GE(designBlocks, 50);
    EXPECT_GT(rateChanges, 10);
    EXPECT_GT(programChanges, 50);
    EXPECT_GT(parameterChanges, 1000);
}

} // namespace
