// Settings changed while audio runs, through the built plug-in as a host drives it: no jump of a
// setting between blocks rings, overshoots or grows; random automation of every parameter stays
// within twice the loudest steady state of the settings it visits; and a control thread changing
// parameters, programs, sets and the rate while the audio thread processes breaks nothing
// (scripts/tsan.sh runs this under ThreadSanitizer too).

#include "integration/PluginFixture.h"
#include "params/ParameterConversions.h"
#include "support/SampleCalibrations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

using namespace vsthost;

namespace {

constexpr float kRate = 48000.0f;

using Configure = std::function<void(const Plugin&)>;

class LiveControl : public PluginTest {
protected:
    // A started instance with `setup` applied before its first block.
    std::unique_ptr<Plugin> started(const Configure& setup) {
        auto plugin = load();
        plugin->start(kRate, 256);
        setup(*plugin);
        return plugin;
    }

    // The input through an instance set up with `before`, `change` applied between the blocks
    // at frame `at` (never, when at is beyond the end).
    // The host switches the plug-in off and on at frame `restartAt`, changing nothing.
    Channels run(const Channels& in, const Configure& before, const Configure& change, size_t at,
                 int block = 256, size_t restartAt = SIZE_MAX) {
        auto plugin = started(before);
        Channels out = makeChannels(in[0].size());
        for (size_t done = 0; done < in[0].size();) {
            if (done == restartAt) plugin->restart();
            if (done == at) change(*plugin);
            const int n = static_cast<int>(std::min<size_t>(block, in[0].size() - done));
            plugin->processBlock(in, out, done, n);
            done += static_cast<size_t>(n);
        }
        return out;
    }
};

const Configure userProgram = [](const Plugin& p) { p.setProgram(2); };

TEST_F(LiveControl, AJumpBetweenBlocksGivesNoTransient) {
    // (The values are copied: an initializer list's array ends with the full expression.)
    const auto with = [](std::initializer_list<std::pair<int, float>> list) {
        return Configure([values = std::vector<std::pair<int, float>>(list)](const Plugin& p) {
            p.setProgram(2);
            for (const auto& v : values)
                p.setParameter(v.first, v.second);
        });
    };
    const struct Case {
        const char* what;
        Configure before, after;
        bool offAndOnBefore = false; // a while before the jump, with nothing changed
    } cases[] = {
        {"LF Cut Freq 250 Hz to 26 Hz", with({{0, 1.0f}, {1, 1.0f}}),
         with({{0, 1.0f}, {1, lowfreq2parm(26.0f)}})},
        {"LF stage switched on", userProgram, with({{0, 1.0f}, {1, lowfreq2parm(25.0f)}})},

        {"EQ +15 dB, zero width, 300 Hz to 3 kHz",
         with({{7, 1.0f}, {16, plusMinus152parm(15)}, {14, freq2parm(300)}}),
         with({{7, 1.0f}, {16, plusMinus152parm(15)}, {14, freq2parm(3000)}})},
        {"EQ +15 dB, 0.5 octave, 300 Hz to 3 kHz",
         with({{7, 1.0f}, {16, plusMinus152parm(15)}, {15, 0.1f}, {14, freq2parm(300)}}),
         with({{7, 1.0f}, {16, plusMinus152parm(15)}, {15, 0.1f}, {14, freq2parm(3000)}})},
        {"capsule 1 into W, +12 dB to -12 dB", with({{17, plusMinus122parm(12)}}),
         with({{17, plusMinus122parm(-12)}})},
        {"the same, the plug-in switched off and on a while before",
         with({{17, plusMinus122parm(12)}}), with({{17, plusMinus122parm(-12)}}), true},
        {"post-matrix set None to 2.3cm", userProgram, with({{kPostMatrixFilter, filter2parm(2)}})},
        {"post-matrix set 1.47cm to 2.3cm", with({{kPostMatrixFilter, filter2parm(1)}}),
         with({{kPostMatrixFilter, filter2parm(2)}})},
        {"program 2 to program 0", userProgram, [](const Plugin& p) { p.setProgram(0); }},
        {"FuMa upright to ambiX endfire, X flipped", userProgram,
         with({{46, 1.0f}, {47, 1.0f}, {48, 1.0f}})},
    };
    const size_t frames = 48000, at = 24064;
    const Channels in = noise(frames, 5, 0.25f);
    const Configure nothing = [](const Plugin&) {};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Channels a = run(in, c.before, nothing, frames);
        const Channels b = run(in, c.after, nothing, frames);
        const Channels jump =
            run(in, c.before, c.after, at, 256, c.offAndOnBefore ? at - 2560 : SIZE_MAX);
        // A quarter of a second from the jump: longer than any decay of the stages.
        const size_t end = at + 12000;
        const double louder = std::max(peak(a, at, end), peak(b, at, end));
        EXPECT_LE(peak(jump, at, end), louder * std::pow(10.0, 3.0 / 20.0))
            << "steady states " << peak(a, at, end) << " and " << peak(b, at, end);
        // Before the jump nothing changed; once it has settled the output is the new settings'.
        EXPECT_EQ(peak(jump, 0, at), peak(a, 0, at));
        // (Within 2 %: a correction set's transform frames start where the set was chosen, and
        // its output depends a little on where they start.)
        EXPECT_LE(peak(jump, frames - 4800, frames, &b), 0.02 * peak(b, frames - 4800, frames));
        // Only the first block after the host switched the plug-in on sets up at once: here the
        // change fades in from where the old settings were.
        if (c.offAndOnBefore) {
            EXPECT_LT(peak(jump, at, at + 4, &a), 0.05 * peak(b, at, at + 4, &a));
        }
    }
}

// Random automation of every parameter between blocks of random length, two minutes of it: the
// output never exceeds twice the largest steady-state peak of the settings it passes through.
// Among them, the equaliser frequency switched every 256-frame block with the band at +15 dB and
// zero or 0.001-octave width.
TEST_F(LiveControl, RandomAutomationStaysWithinTheSteadyStates) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const Channels in = noise(48000, 6, 0.25f);
    const size_t frames = in[0].size();
    // A setting is every parameter's value as the host reads it back; replayed with the link
    // flags off, and then set, it is the same state in a new instance.
    using Setting = std::vector<float>;
    const auto settingOf = [](const Plugin& p) {
        Setting s(kNumParams);
        for (int i = 0; i < kNumParams; ++i)
            s[static_cast<size_t>(i)] = p.getParameter(i);
        return s;
    };
    const auto apply = [](const Plugin& p, const Setting& s) {
        p.setParameter(8, 0.0f);
        p.setParameter(9, 0.0f);
        for (int i = 0; i < kNumParams; ++i)
            if (i != 8 && i != 9) p.setParameter(i, s[static_cast<size_t>(i)]);
        p.setParameter(8, s[8]);
        p.setParameter(9, s[9]);
    };
    std::vector<Setting> visited;
    double automatedPeak = 0.0;
    // `seconds` of the noise, over and over, in blocks of random length (or of `blockFrames`),
    // with `change` called before every block.
    const auto automate = [&](const Configure& setup,
                              const std::function<void(const Plugin&, long)>& change,
                              double seconds, int blockFrames) {
        auto plugin = started(setup);
        visited.push_back(settingOf(*plugin));
        Channels out = makeChannels(frames);
        size_t offset = 0;
        for (long block = 0, done = 0; done < static_cast<long>(seconds * kRate); ++block) {
            change(*plugin, block);
            visited.push_back(settingOf(*plugin));
            if (offset == frames) offset = 0;
            const int length =
                blockFrames > 0 ? blockFrames : 1 + static_cast<int>(random() % 2048);
            const int n = std::min<int>(length, static_cast<int>(frames - offset));
            plugin->processBlock(in, out, offset, n);
            automatedPeak =
                std::max(automatedPeak, peak(out, offset, offset + static_cast<size_t>(n)));
            offset += static_cast<size_t>(n);
            done += n;
        }
    };

    automate(
        userProgram,
        [&](const Plugin& p, long) {
            if (unit(random) > 0.03f) return;
            if (unit(random) < 0.1f) return p.setProgram(static_cast<int>(random() % 8));
            p.setParameter(static_cast<int>(random() % kNumParams), unit(random));
        },
        120.0, 0);
    for (float width : {0.0f, 0.001f / 5.0f})
        automate(
            [width](const Plugin& p) {
                p.setProgram(2);
                p.setParameter(7, 1.0f);
                p.setParameter(16, plusMinus152parm(15));
                p.setParameter(15, width);
            },
            [](const Plugin& p, long block) {
                for (int c = 0; c < 4; ++c)
                    p.setParameter(14 + 7 * c, freq2parm(block % 2 == 0 ? 1000.0 : 2000.0));
            },
            5.0, 256);

    std::sort(visited.begin(), visited.end());
    visited.erase(std::unique(visited.begin(), visited.end()), visited.end());
    ASSERT_GT(visited.size(), 100u);
    double steadyPeak = 0.0;
    for (const Setting& setting : visited) {
        const Channels out = run(
            in, [&](const Plugin& p) { apply(p, setting); }, [](const Plugin&) {}, frames, 4096);
        steadyPeak = std::max(steadyPeak, peak(out, 0, frames));
    }
    EXPECT_LE(automatedPeak, 2.0 * steadyPeak)
        << visited.size() << " settings; steady-state peak " << steadyPeak;
}

// A control thread changes everything at random, the sample rate included, while the audio thread
// processes blocks of random length: no crash, nothing non-finite, nothing unbounded. All six
// calibrations are there, so every kind of set runs.
TEST_F(LiveControl, ControlThreadWhileTheAudioThreadRuns) {
    const std::string calibrations = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
    ASSERT_EQ(std::system(("mkdir -p '" + calibrations + "'").c_str()), 0);
    ASSERT_TRUE(samplecal::writeSixCalibrations(calibrations));
    auto plugin = started(userProgram);
    std::atomic<bool> stop{false};
    std::thread control([&] {
        std::mt19937 random(21);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        static const float rates[] = {44100.0f, 48000.0f, 96000.0f};
        while (!stop.load()) {
            const float u = unit(random);
            if (u < 0.02f)
                plugin->setSampleRate(rates[random() % 3]);
            else if (u < 0.1f)
                plugin->setProgram(static_cast<int>(random() % 8));
            else if (u < 0.3f)
                plugin->setParameter(kPostMatrixFilter,
                                     filter2parm(static_cast<int>(random() % 8)));
            else
                plugin->setParameter(static_cast<int>(random() % kNumParams), unit(random));
            plugin->parameterDisplay(static_cast<int>(random() % kNumParams));
            std::this_thread::yield();
        }
    });
    const Channels in = noise(8192, 7, 0.25f);
    Channels out = makeChannels(8192);
    std::mt19937 random(22);
    // Inputs of 0.25 through gains of at most +15 dB, four capsules and boosts: far below 100.
    // (Written so that NaN counts too.)
    long outOfBounds = 0;
    for (int block = 0; block < 20000; ++block) {
        const int n = static_cast<int>(random() % 1024);
        plugin->processBlock(in, out, 0, n);
        for (const auto& channel : out)
            outOfBounds += std::count_if(channel.begin(), channel.begin() + n,
                                         [](float s) { return !(std::fabs(s) < 100.0f); });
    }
    stop.store(true);
    control.join();
    EXPECT_EQ(outOfBounds, 0);
}

} // namespace
