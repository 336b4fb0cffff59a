// The audio call is real-time safe: over thousands of blocks with every stage on, and programs,
// parameters, filter sets and sample rates changing between blocks, processReplacing allocates and
// releases no memory, takes no lock, waits for nothing and makes no I/O call. That holds for every
// block without exception, the first after a correction set is selected or the rate changes
// included: those designs happen in the requests that cause them.
//
// The blocks run on a thread of their own, as in a host, not on the thread that built the plug-in.

#include "RtProbe.h"

#include "params/ParameterConversions.h"
#include "core/XeTetra.h"
#include "integration/VstHost.h"
#include "support/SampleCalibrations.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxBlock = 4096;
constexpr int kBlocks = 3000;
const char* const kCorrectionSets[] = {"1.47cm", "2.3cm"};

struct AudioBuffers {
    AudioBuffers() : in(4, std::vector<float>(kMaxBlock)), out(in) {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (auto& channel : in)
            for (float& s : channel)
                s = uniform(random);
        for (int c = 0; c < 4; ++c) {
            inputs[c] = in[static_cast<size_t>(c)].data();
            outputs[c] = out[static_cast<size_t>(c)].data();
        }
    }
    std::vector<std::vector<float>> in, out;
    float* inputs[4];
    float* outputs[4];
};

// What the host asks between blocks, all on the audio thread.
class Host {
public:
    explicit Host(AEffect* effect) : effect(effect) {}

    void setParameter(int index, float value) { effect->setParameter(effect, index, value); }
    void setProgram(int program) {
        effect->dispatcher(effect, effSetProgram, 0, program, nullptr, 0);
    }
    void setSampleRate(float rate) {
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate);
    }
    void mains(bool on) { effect->dispatcher(effect, effMainsChanged, 0, on ? 1 : 0, nullptr, 0); }
    std::string text(VstInt32 opcode, VstInt32 index) {
        char buffer[256] = {};
        effect->dispatcher(effect, opcode, index, 0, buffer, 0);
        return buffer;
    }
    std::string postMatrixSet() { return text(effGetParamDisplay, kPostMatrixFilter); }

    void everyStageOn() {
        setParameter(kLFEnabled, 1.0f);
        setParameter(kEQsEnabled, 1.0f);
        setParameter(kABMatrixEnabled, 1.0f);
        setParameter(kDisplayVU, 1.0f); // the output meters too
    }

    rtprobe::Counts processArmed(AudioBuffers& buffers, int frames) {
        rtprobe::reset();
        rtprobe::arm(true);
        effect->processReplacing(effect, buffers.inputs, buffers.outputs, frames);
        rtprobe::arm(false);
        return rtprobe::counts();
    }

private:
    AEffect* effect;
};

bool isCorrectionSet(const std::string& name) {
    for (const char* set : kCorrectionSets)
        if (name == set) return true;
    return false;
}

struct DriveSummary {
    int blocks = 0;
    long frames = 0;
    int firstBlocksAfterDesign = 0; // the first block after a set switch or a rate change
    int programChanges = 0;
    int parameterChanges = 0;
    int setChanges = 0;
    int rateChanges = 0;
    int nonFiniteOutputs = 0;
    std::map<std::string, int> blocksPerSet;
    std::vector<std::string> failures;
};

std::string describeCounts(const rtprobe::Counts& counts) {
    std::ostringstream text;
    text << counts.calls[rtprobe::kAllocation] << " " << rtprobe::kindName(rtprobe::kAllocation)
         << ", " << counts.calls[rtprobe::kLock] << " " << rtprobe::kindName(rtprobe::kLock) << ", "
         << counts.calls[rtprobe::kSystemCall] << " " << rtprobe::kindName(rtprobe::kSystemCall);
    return text.str();
}

// Runs `blocks` blocks at `rate` with random host requests between them; every stage stays on.
// The plug-in must have been set to `rate` already.
DriveSummary drive(AEffect* effect, float rate, int blocks, unsigned seed) {
    DriveSummary summary;
    Host host(effect);
    AudioBuffers buffers;
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    static const int sizes[] = {0, 1, 7, 64, 128, 256, 500, 512, 1024, 2048, 4096};
    static const float rates[] = {44100.0f, 48000.0f, 88200.0f, 96000.0f};
    std::string lastSet;
    float lastRate = rate;

    for (int block = 0; block < blocks; ++block) {
        std::string actions;
        if (block > 0) {
            if (unit(random) < 0.08f) {
                const int program = static_cast<int>(random() % kNumPrograms);
                host.setProgram(program);
                actions += " program " + std::to_string(program) + ";";
                ++summary.programChanges;
            }
            if (unit(random) < 0.5f) {
                const int changes = 1 + static_cast<int>(random() % 4);
                for (int i = 0; i < changes; ++i) {
                    const int index = static_cast<int>(random() % kNumParams);
                    const float u = unit(random);
                    const float value = u < 0.1f ? 0.0f : u > 0.9f ? 1.0f : unit(random);
                    host.setParameter(index, value);
                    actions +=
                        " parameter " + std::to_string(index) + " = " + std::to_string(value) + ";";
                    ++summary.parameterChanges;
                }
            }
            if (unit(random) < 0.15f) {
                // Mostly the correction sets; numbers without a set are ignored by the plug-in.
                const int set = unit(random) < 0.6f ? 1 + static_cast<int>(random() % 2)
                                                    : static_cast<int>(random() % kMaxFilterSets);
                host.setParameter(kPostMatrixFilter, filter2parm(set));
                actions += " post-matrix set " + std::to_string(set) + ";";
                ++summary.setChanges;
            }
            if (unit(random) < 0.03f) {
                const float next = rates[random() % 4];
                const bool restart = unit(random) < 0.5f;
                if (restart) host.mains(false);
                host.setSampleRate(next);
                if (restart) host.mains(true);
                actions += " rate " + std::to_string(static_cast<int>(next)) + ";";
                rate = next;
                ++summary.rateChanges;
            }
            host.text(effGetParamDisplay, static_cast<VstInt32>(random() % kNumParams));
        }
        host.everyStageOn();

        const std::string set = host.postMatrixSet();
        const bool designBlock = isCorrectionSet(set) && (set != lastSet || rate != lastRate);
        lastSet = set;
        lastRate = rate;
        const int frames = sizes[random() % (sizeof(sizes) / sizeof(sizes[0]))];

        const rtprobe::Counts counts = host.processArmed(buffers, frames);

        ++summary.blocks;
        summary.frames += frames;
        ++summary.blocksPerSet[set];
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < frames; ++i)
                if (!std::isfinite(buffers.out[static_cast<size_t>(c)][static_cast<size_t>(i)]))
                    ++summary.nonFiniteOutputs;

        if (designBlock) ++summary.firstBlocksAfterDesign;
        if (counts.total() != 0 && summary.failures.size() < 3) {
            std::ostringstream text;
            text << "block " << block << " (" << frames << " frames at " << rate << " Hz, set \""
                 << set << "\"" << (designBlock ? ", the first after a design" : "")
                 << "; before it:" << (actions.empty() ? " nothing" : actions)
                 << "): processReplacing made " << describeCounts(counts) << "\n"
                 << rtprobe::describeRecordedCalls();
            summary.failures.push_back(text.str());
        }
    }
    return summary;
}

// Runs drive() on a thread of its own, like a host's audio thread.
DriveSummary driveOnAudioThread(AEffect* effect, float rate, int blocks, unsigned seed) {
    DriveSummary summary;
    std::thread audio([&] { summary = drive(effect, rate, blocks, seed); });
    audio.join();
    return summary;
}

void expectRealTimeSafe(const DriveSummary& summary) {
    for (const std::string& failure : summary.failures)
        ADD_FAILURE() << failure;
    EXPECT_TRUE(summary.failures.empty());
    EXPECT_EQ(summary.nonFiniteOutputs, 0);
    // The run must have covered what it claims: both correction sets, designs at several rates,
    // and enough host requests between blocks.
    for (const char* set : kCorrectionSets)
        EXPECT_GT(summary.blocksPerSet.count(set) ? summary.blocksPerSet.at(set) : 0, 100) << set;
    EXPECT_GE(summary.firstBlocksAfterDesign, 50);
    EXPECT_GT(summary.rateChanges, 10);
    EXPECT_GT(summary.programChanges, 50);
    EXPECT_GT(summary.parameterChanges, 1000);

    std::ostringstream sets;
    for (const auto& entry : summary.blocksPerSet)
        sets << " \"" << entry.first << "\" " << entry.second;
    std::printf("%d blocks, %ld frames; %d program, %d parameter, %d set and %d rate changes;\n"
                "%d first blocks after a design; blocks per set:%s\n",
                summary.blocks, summary.frames, summary.programChanges, summary.parameterChanges,
                summary.setChanges, summary.rateChanges, summary.firstBlocksAfterDesign,
                sets.str().c_str());
}

TEST(RealTimeProbe, SeesTheCallsOfLoadedLibraries) {
    EXPECT_EQ(rtprobe::functionsNotInterposed(), "");

    // Calls the probe must count while armed, each through the global symbol a shared object
    // would bind to.
    using Malloc = void* (*)(size_t);
    using Free = void (*)(void*);
    using Usleep = int (*)(useconds_t);
    const auto globalMalloc = reinterpret_cast<Malloc>(dlsym(RTLD_DEFAULT, "malloc"));
    const auto globalFree = reinterpret_cast<Free>(dlsym(RTLD_DEFAULT, "free"));
    const auto globalUsleep = reinterpret_cast<Usleep>(dlsym(RTLD_DEFAULT, "usleep"));
    std::mutex mutex;
    rtprobe::reset();
    rtprobe::arm(true);
    void* block = globalMalloc(64);
    globalFree(block);
    mutex.lock();
    mutex.unlock();
    globalUsleep(0);
    rtprobe::arm(false);
    const rtprobe::Counts counts = rtprobe::counts();
    EXPECT_EQ(counts.calls[rtprobe::kAllocation], 2);
    EXPECT_EQ(counts.calls[rtprobe::kLock], 1);
    EXPECT_EQ(counts.calls[rtprobe::kSystemCall], 1);
    EXPECT_EQ(rtprobe::callsTo("malloc"), 1);
    EXPECT_EQ(rtprobe::callsTo("usleep"), 1);

    // Another thread's calls are not counted.
    rtprobe::reset();
    std::thread other([] {
        void* p = std::malloc(16);
        std::free(p);
    });
    other.join();
    EXPECT_EQ(rtprobe::counts().total(), 0);

    // Building the plug-in from its shared object allocates, through the C++ operators.
    TempDirectory home;
    setenv("HOME", home.path().c_str(), 1);
    vsthost::Library library(XETETRA_PLUGIN_PATH);
    ASSERT_TRUE(library.loaded()) << library.loadError();
    vsthost::HostState hostState;
    rtprobe::reset();
    rtprobe::arm(true);
    AEffect* effect = library.load(&hostState);
    rtprobe::arm(false);
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(rtprobe::callsTo("operator new"), 0);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
}

TEST(RealTimeSafety, SharedObjectWithTextCalibrations) {
    TempDirectory home;
    const std::string calibrations = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
    ASSERT_EQ(std::system(("mkdir -p '" + calibrations + "'").c_str()), 0);
    for (const char* name : {"MicA", "MicB"}) {
        samplecal::TextCalibration calibration;
        calibration.name = name;
        ASSERT_TRUE(samplecal::writeTextCalibration(calibrations, calibration));
    }
    setenv("HOME", home.path().c_str(), 1);

    vsthost::Library library(XETETRA_PLUGIN_PATH);
    ASSERT_TRUE(library.loaded()) << library.loadError();
    vsthost::HostState hostState;
    vsthost::Plugin plugin(library, &hostState);
    ASSERT_TRUE(plugin.ok());
    const std::set<std::string> imported{plugin.text(effGetProgramNameIndexed, 2),
                                         plugin.text(effGetProgramNameIndexed, 3)};
    ASSERT_EQ(imported, (std::set<std::string>{"MicA", "MicB"}));

    // Built on this thread; the audio thread must be clean from its very first call.
    plugin.start(48000.0f, kMaxBlock);
    plugin.setParameter(kPostMatrixFilter, 0.0f);
    const DriveSummary summary = driveOnAudioThread(plugin.record(), 48000.0f, kBlocks, 1);
    expectRealTimeSafe(summary);
    EXPECT_GT(summary.blocksPerSet.count("MicA") + summary.blocksPerSet.count("MicB"), 0u);
}

TEST(RealTimeSafety, EngineWithTextAndTetraprocCalibrations) {
    TempDirectory directory;
    ASSERT_TRUE(samplecal::writeSixCalibrations(directory.path()));
    AXeTetra processor(nullptr, CCalibrationPaths::only(directory.path()));
    AEffect* effect = processor.getAeffect();
    Host host(effect);
    host.setSampleRate(44100.0f);
    host.mains(true);
    host.setParameter(kPostMatrixFilter, 0.0f);
    const DriveSummary summary = driveOnAudioThread(effect, 44100.0f, kBlocks, 2);
    expectRealTimeSafe(summary);
    // The calibrations' own sets ran too: IIR sets of the text ones, equalisers of the others.
    for (const char* set : {"TextA", "TetraD"})
        EXPECT_GT(summary.blocksPerSet.count(set) ? summary.blocksPerSet.at(set) : 0, 10) << set;
}

} // namespace
