// The built plug-in, loaded and driven exactly as a host does: dlopen, the entry point, and from
// then on only the record.

#include "PluginFixture.h"
#include "VstHost.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <xmmintrin.h>

using namespace vsthost;

namespace {

constexpr int kNumParams = 46;
constexpr int kNumPrograms = 8;
constexpr VstInt32 kUniqueID = 0x58655431;
constexpr double kLn10 = 2.302585092994;

// ---- independent references -------------------------------------------------------------------

float lowFreq(float p) {
    return static_cast<float>(20.0 * std::exp(p * kLn10 / (1.0 / std::log10(12.5))));
}
float eqFreq(float p) {
    return static_cast<float>(20.0 * std::exp(p * kLn10 / (1.0 / std::log10(1000.0))));
}
std::string format(const char* fmt, double value) {
    char text[128];
    std::snprintf(text, sizeof(text), fmt, value);
    return text;
}
std::string formatInt(int value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%2d", value);
    return text;
}

std::string expectedName(int index) {
    static const char* const fixed[] = {
        "LF Enabled",
        "LF Cut Freq",
        "LF Boost Freq",
        "Locked",
        "Calibration",
        "PreMatrix Filter Number",
        "PostMatrix Filter Number",
        "EQs Enabled",
        "EQs Linked",
        "Gains Linked",
        "AB Matrix Enabled",
        "Current Capsule",
        "View Mode",
        "Display VU",
    };
    if (index < 14) return fixed[index];
    char text[64];
    if (index >= 42) {
        std::snprintf(text, sizeof(text), "Output %d Gain", index - 41);
        return text;
    }
    const int capsule = (index - 14) / 7 + 1, offset = (index - 14) % 7;
    if (offset == 0) std::snprintf(text, sizeof(text), "Cap %d EQ Freq", capsule);
    if (offset == 1) std::snprintf(text, sizeof(text), "Cap %d EQ Width", capsule);
    if (offset == 2) std::snprintf(text, sizeof(text), "Cap %d EQ Gain", capsule);
    if (offset >= 3) std::snprintf(text, sizeof(text), "Cap %d Out %d Gain", capsule, offset - 2);
    return text;
}

std::string expectedLabel(int index) {
    if (index == 1 || index == 2) return "Hz";
    if (index < 14) return "";
    if (index >= 42) return "dB";
    const int offset = (index - 14) % 7;
    if (offset == 0) return "Hz";
    if (offset == 1) return "Octaves";
    return "dB";
}

bool isBoolean(int index) {
    return index == 0 || index == 3 || index == 4 || (index >= 7 && index <= 10) || index == 13;
}

// The display of every parameter but the two filter-set numbers, from its stored value.
std::string expectedDisplay(int index, float p) {
    if (isBoolean(index)) return static_cast<double>(p) > 0.5 ? "Yes" : "No";
    if (index == 1 || index == 2) return format("%5.1f", lowFreq(p));
    if (index == 11) return formatInt(static_cast<int>(3.0f * p) + 1);
    if (index == 12) return formatInt(static_cast<int>(2.0f * p) + 1);
    if (index >= 42) return format("%5.1f", p * 30.0f + -15.0f);
    const int offset = (index - 14) % 7;
    if (offset == 0) return format("%5.1f", eqFreq(p));
    if (offset == 1) return format("%5.1f", p * 5.0f);
    if (offset == 2) return format("%5.1f", p * 30.0f + -15.0f);
    return format("%5.1f", p * 24.0f + -12.0f);
}

double dbToLevel(double db) {
    return std::pow(10.0, db / 20.0);
}
double levelToDb(double level) {
    return 20.0 * std::log10(level);
}

// A direct-form I section in double precision.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double run(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// The capsule low-frequency filter from its analogue prototypes by the bilinear transform: the
// shelf (s + w_boost)/(s + w_cut) and two high-passes s^2/(s^2 + d s + 1) at the cut frequency.
std::vector<double> lowFrequencyReference(double cut, double boost, double firstDamping,
                                          double rate, const std::vector<double>& input) {
    const double kCut = std::tan(M_PI * cut / rate), kBoost = std::tan(M_PI * boost / rate);
    Biquad shelf;
    shelf.b0 = (kBoost + 1.0) / (kCut + 1.0);
    shelf.b1 = (kBoost - 1.0) / (kCut + 1.0);
    shelf.a1 = (kCut - 1.0) / (kCut + 1.0);
    auto highPass = [kCut](double d) {
        Biquad h;
        const double k2 = kCut * kCut, denominator = k2 + d * kCut + 1.0;
        h.b0 = 1.0 / denominator;
        h.b1 = -2.0 / denominator;
        h.b2 = 1.0 / denominator;
        h.a1 = 2.0 * (k2 - 1.0) / denominator;
        h.a2 = (k2 - d * kCut + 1.0) / denominator;
        return h;
    };
    Biquad first = highPass(firstDamping), second = highPass(1.618);
    std::vector<double> out(input.size());
    for (size_t i = 0; i < input.size(); ++i)
        out[i] = second.run(first.run(shelf.run(input[i])));
    return out;
}

// Bin k of the direct DFT of length n over the whole signal.
template <typename Sample>
std::complex<double> dftBin(const std::vector<Sample>& signal, int k, int n) {
    std::complex<double> sum = 0.0;
    for (size_t i = 0; i < signal.size(); ++i) {
        const double angle = -2.0 * M_PI * static_cast<double>(k) * static_cast<double>(i % n) / n;
        sum +=
            static_cast<double>(signal[i]) * std::complex<double>(std::cos(angle), std::sin(angle));
    }
    return sum;
}

size_t peakIndex(const std::vector<float>& signal) {
    size_t best = 0;
    for (size_t i = 1; i < signal.size(); ++i)
        if (std::fabs(signal[i]) > std::fabs(signal[best])) best = i;
    return best;
}

Channels noise(size_t frames, unsigned seed, float amplitude = 0.5f) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    Channels in = makeChannels(frames);
    for (auto& channel : in)
        for (float& sample : channel)
            sample = uniform(generator);
    return in;
}

// Whether two signals are identical sample for sample; names the first difference.
::testing::AssertionResult sameSamples(const Channels& a, const Channels& b) {
    for (int c = 0; c < 4; ++c) {
        if (a[c].size() != b[c].size()) return ::testing::AssertionFailure() << "lengths differ";
        for (size_t i = 0; i < a[c].size(); ++i)
            if (std::memcmp(&a[c][i], &b[c][i], sizeof(float)) != 0)
                return ::testing::AssertionFailure() << "channel " << c << " sample " << i << ": "
                                                     << a[c][i] << " vs " << b[c][i];
    }
    return ::testing::AssertionSuccess();
}

// The largest magnitude in the first `frames` samples of any channel.
double largest(const Channels& signal, size_t frames) {
    double m = 0.0;
    for (const auto& channel : signal)
        for (size_t i = 0; i < std::min(frames, channel.size()); ++i)
            m = std::max(m, static_cast<double>(std::fabs(channel[i])));
    return m;
}

// Standard error written while `action` runs.
template <typename Action> std::string captureStderr(Action action) {
    std::fflush(stderr);
    char path[] = "/tmp/xetetra-stderr-XXXXXX";
    const int file = mkstemp(path);
    const int saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    action();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    return text.str();
}

// ---- entry point and record --------------------------------------------------------------------

TEST_F(PluginTest, EntryPointRefusesAHostThatAnswersVersionZero) {
    host.versionAnswer = 0;
    EXPECT_EQ(library->load(&host), nullptr);
    EXPECT_EQ(library->load(&host, "main"), nullptr);
    const auto requests = host.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const HostRequest& r : requests) {
        EXPECT_EQ(r.opcode, audioMasterVersion);
        EXPECT_EQ(r.effect, nullptr);
        EXPECT_EQ(r.index, 0);
        EXPECT_EQ(r.value, 0);
    }
    EXPECT_EQ(library->entry()(nullptr), nullptr) << "no host callback at all";

    host.versionAnswer = 1;
    Plugin old(*library, &host);
    EXPECT_TRUE(old.ok()) << "any non-zero version is accepted";
}

TEST_F(PluginTest, ExportsItsEntryPointAlsoAsMain) {
    ASSERT_NE(library->entry("VSTPluginMain"), nullptr);
    ASSERT_NE(library->entry("main"), nullptr);
    // Nothing else is visible, C++ names included.
    for (const char* hidden :
         {"createEffectInstance", "_Z20createEffectInstancePFlP7AEffectiilPvfE",
          "_Z11vst_strncpyPcPKci", "_ZTV12AXeTetraEdit", "_ZTV8AXeTetra"})
        EXPECT_EQ(library->symbol(hidden), nullptr) << hidden;

    AEffect* viaMain = library->load(&host, "main");
    ASSERT_NE(viaMain, nullptr);
    EXPECT_EQ(viaMain->magic, kEffectMagic);
    EXPECT_EQ(viaMain->uniqueID, kUniqueID);
    EXPECT_EQ(viaMain->dispatcher(viaMain, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST_F(PluginTest, RecordAnnouncesTheShapeOfTheEffect) {
    auto plugin = load();
    const AEffect* r = plugin->record();
    EXPECT_EQ(r->magic, 0x56737450);
    EXPECT_EQ(r->numPrograms, kNumPrograms);
    EXPECT_EQ(r->numParams, kNumParams);
    EXPECT_EQ(r->numInputs, 4);
    EXPECT_EQ(r->numOutputs, 4);
    EXPECT_EQ(r->flags & effFlagsCanReplacing, effFlagsCanReplacing);
    EXPECT_EQ(r->flags & (effFlagsProgramChunks | effFlagsCanDoubleReplacing), 0);
    EXPECT_EQ(r->flags, effFlagsHasEditor | effFlagsCanReplacing);
    EXPECT_EQ(r->uniqueID, kUniqueID);
    EXPECT_EQ(r->uniqueID, 1483035697);
    EXPECT_EQ(r->version, 1);
    EXPECT_EQ(r->ioRatio, 1.0f);
    EXPECT_EQ(r->realQualities, 0);
    EXPECT_EQ(r->offQualities, 0);
    EXPECT_EQ(r->resvd1, 0);
    EXPECT_EQ(r->resvd2, 0);
    for (char c : r->future)
        EXPECT_EQ(c, 0);
    EXPECT_NE(r->object, nullptr);
    EXPECT_NE(r->processReplacing, nullptr);
    EXPECT_NE(r->process, nullptr);
    EXPECT_NE(r->processDoubleReplacing, nullptr);
    // Program 0 runs the 2.3 cm correction, whose latency the record announces.
    EXPECT_EQ(r->initialDelay, 1024);

    // Loading asked the host for its version and nothing else.
    const auto requests = host.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].opcode, audioMasterVersion);
    EXPECT_EQ(requests[0].effect, nullptr);
}

TEST_F(PluginTest, EditorIsAnnouncedAndSizedToItsPicture) {
    auto plugin = load();
    ASSERT_EQ(plugin->record()->flags & effFlagsHasEditor, effFlagsHasEditor);
    ERect* rect = nullptr;
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, nullptr), 0);
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    // The background picture is 400 x 200.
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right, 400);
    EXPECT_EQ(rect->bottom, 200);
    // Idle and close before any open touch no window: nothing to show, nothing to break.
    plugin->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->programName(), "Ambrel - uncalibrated");
    // Loading, asking for the rectangle and idling asked nothing of the host but its version.
    EXPECT_EQ(host.requests().size(), 1u);
}

TEST_F(PluginTest, AnswersEveryRequestOfTheTable) {
    auto plugin = load();
    EXPECT_EQ(plugin->dispatch(effOpen), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    EXPECT_EQ(plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(plugin->dispatch(effSetBlockSize, 0, 256), 0);
    EXPECT_EQ(plugin->dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_EQ(plugin->dispatch(effGetPlugCategory), 7);
    EXPECT_EQ(plugin->dispatch(effGetVendorVersion), 1800);
    EXPECT_EQ(plugin->dispatch(effGetVstVersion), 2400);
    for (int i = 0; i < kNumParams; ++i)
        EXPECT_EQ(plugin->dispatch(effCanBeAutomated, i), 1) << i;
    EXPECT_EQ(plugin->dispatch(effCanBeAutomated, kNumParams), 0);
    EXPECT_EQ(plugin->dispatch(effCanBeAutomated, -1), 0);

    const char* queries[] = {"receiveVstMidiEvent",
                             "receiveVstEvents",
                             "sendVstEvents",
                             "sendVstMidiEvent",
                             "bypass",
                             "offline",
                             "4in4out",
                             "supportsViewDpiScaling",
                             "",
                             "receiveVstTimeInfo"};
    for (const char* query : queries) {
        std::string copy = query;
        EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, copy.data()), 0) << query;
    }

    struct Named {
        VstInt32 opcode;
        const char* text;
        size_t size;
    };
    const Named strings[] = {{effGetEffectName, "Xerio Kalen Ambrel", 32},
                             {effGetVendorString, "XeAudio", 64},
                             {effGetProductString, "Xerio Kalen Ambrel", 64}};
    for (const Named& s : strings) {
        char buffer[128];
        std::memset(buffer, 0x5A, sizeof(buffer));
        EXPECT_EQ(plugin->dispatch(s.opcode, 0, 0, buffer), 1) << s.opcode;
        EXPECT_STREQ(buffer, s.text);
        for (size_t i = std::strlen(s.text) + 1; i < sizeof(buffer); ++i)
            ASSERT_EQ(buffer[i], 0x5A) << "opcode " << s.opcode << " wrote byte " << i;
    }

    // Switching off and on is heard by nobody: the host got no request beyond the version.
    EXPECT_EQ(plugin->dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_EQ(plugin->dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_EQ(host.requests().size(), 1u);

    // Requests outside the table: the neutral answer, and nothing written through the pointer.
    for (VstInt32 opcode = 0; opcode <= 80; ++opcode) {
        switch (opcode) {
        case effOpen:
        case effClose:
        case effSetProgram:
        case effGetProgram:
        case effSetProgramName:
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effSetSampleRate:
        case effSetBlockSize:
        case effMainsChanged:
        case effEditGetRect:
        case effEditOpen:
        case effEditClose:
        case effEditIdle:
        case effCanBeAutomated:
        case effGetProgramNameIndexed:
        case effGetPlugCategory:
        case effGetEffectName:
        case effGetVendorString:
        case effGetProductString:
        case effGetVendorVersion:
        case effCanDo:
        case effGetVstVersion:
            continue;
        default:
            break;
        }
        char buffer[256];
        std::memset(buffer, 0x5A, sizeof(buffer));
        EXPECT_EQ(plugin->dispatch(opcode, 1, 1, buffer, 1.0f), 0) << "opcode " << opcode;
        for (size_t i = 0; i < sizeof(buffer); ++i)
            ASSERT_EQ(buffer[i], 0x5A) << "opcode " << opcode << " wrote byte " << i;
    }
    EXPECT_EQ(plugin->dispatch(1000), 0);
    EXPECT_EQ(plugin->dispatch(-1), 0);

    // Null pointers where a host should have passed a buffer are never written.
    const VstInt32 pointerRequests[] = {
        effSetProgramName,        effGetProgramName, effGetParamLabel,
        effGetParamDisplay,       effGetParamName,   effEditGetRect,
        effGetProgramNameIndexed, effGetEffectName,  effGetVendorString,
        effGetProductString,      effCanDo};
    for (VstInt32 opcode : pointerRequests)
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, nullptr), 0) << opcode;

    EXPECT_EQ(plugin->closeRequest(), 1);
}

// ---- parameters ---------------------------------------------------------------------------------

TEST_F(PluginTest, AllParametersHaveTheirNamesLabelsAndDisplays) {
    auto plugin = load();
    for (int i = 0; i < kNumParams; ++i) {
        EXPECT_EQ(plugin->parameterName(i), expectedName(i)) << i;
        EXPECT_EQ(plugin->parameterLabel(i), expectedLabel(i)) << i;
        if (i == 5 || i == 6) continue;
        EXPECT_EQ(plugin->parameterDisplay(i), expectedDisplay(i, plugin->getParameter(i))) << i;
    }
    // Spot checks of program 0, written out.
    EXPECT_EQ(plugin->parameterName(17), "Cap 1 Out 1 Gain");
    EXPECT_EQ(plugin->parameterName(41), "Cap 4 Out 4 Gain");
    EXPECT_EQ(plugin->parameterName(45), "Output 4 Gain");
    EXPECT_EQ(plugin->parameterLabel(15), "Octaves");
    EXPECT_EQ(plugin->parameterDisplay(0), "Yes");
    EXPECT_EQ(plugin->parameterDisplay(1), " 25.0");
    EXPECT_EQ(plugin->parameterDisplay(2), "150.0");
    EXPECT_EQ(plugin->parameterDisplay(5), "None");
    EXPECT_EQ(plugin->parameterDisplay(6), "2.3cm");
    EXPECT_EQ(plugin->parameterDisplay(7), "No");
    EXPECT_EQ(plugin->parameterDisplay(10), "Yes");
    EXPECT_EQ(plugin->parameterDisplay(11), " 1");
    EXPECT_EQ(plugin->parameterDisplay(12), " 1");
    EXPECT_EQ(plugin->parameterDisplay(14), " 20.0");
    EXPECT_EQ(plugin->parameterDisplay(15), "  0.0");
    EXPECT_EQ(plugin->parameterDisplay(16), "  0.0");
    EXPECT_EQ(plugin->parameterDisplay(17), "  0.0");
    EXPECT_EQ(plugin->parameterDisplay(42), " -8.0");
    EXPECT_EQ(plugin->parameterDisplay(43), "  0.0");

    // Indices that name no parameter leave the host's buffer alone.
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
        for (int index : {-1, kNumParams, 1000}) {
            char buffer[64];
            std::memset(buffer, 0x5A, sizeof(buffer));
            plugin->dispatch(opcode, index, 0, buffer);
            for (char c : buffer)
                ASSERT_EQ(c, 0x5A) << opcode << " " << index;
        }
    }
    EXPECT_EQ(plugin->getParameter(-1), 0.0f);
    EXPECT_EQ(plugin->getParameter(kNumParams), 0.0f);
}

TEST_F(PluginTest, DisplaysFollowTheValueConversions) {
    auto plugin = load();
    plugin->setProgram(3);
    const float values[] = {0.0f, 0.1f, 0.25f, 0.3f, 0.5f, 0.6f, 0.75f, 0.9f, 1.0f};
    for (float v : values) {
        for (int i = 0; i < kNumParams; ++i) {
            if (i == 5 || i == 6 || i == 8 || i == 9) continue; // selections and links below
            plugin->setParameter(i, v);
            EXPECT_EQ(plugin->getParameter(i), v) << i;
            EXPECT_EQ(plugin->parameterDisplay(i), expectedDisplay(i, v)) << i << " at " << v;
        }
    }
    // The edge cases, written out.
    plugin->setParameter(1, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(1), " 20.0");
    plugin->setParameter(1, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(1), "250.0");
    plugin->setParameter(14, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(14), "632.5");
    plugin->setParameter(14, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(14), "20000.0");
    plugin->setParameter(0, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(0), "No");
    plugin->setParameter(11, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(11), " 4");
    plugin->setParameter(12, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(12), " 2");
}

TEST_F(PluginTest, FilterSetNumbersSelectOnlyExistingSets) {
    auto plugin = load();
    EXPECT_EQ(plugin->parameterDisplay(6), "2.3cm");
    plugin->setParameter(6, 0.3f);
    EXPECT_EQ(plugin->getParameter(6), 0.3f);
    EXPECT_EQ(plugin->parameterDisplay(6), "2.3cm");
    plugin->setParameter(6, 0.15f);
    EXPECT_EQ(plugin->parameterDisplay(6), "1.47cm");
    plugin->setParameter(6, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(6), "None");
    EXPECT_EQ(plugin->record()->initialDelay, 0);
    plugin->setParameter(6, 2.0f / 7.0f);
    EXPECT_EQ(plugin->parameterDisplay(6), "2.3cm");
    EXPECT_EQ(plugin->record()->initialDelay, 1024);

    // Without calibrations only sets 0 to 2 exist; other numbers are stored and select nothing.
    for (float v : {1.0f, 0.5f, -0.5f, 7.5f, 1e30f, -1e30f, 3e9f}) {
        plugin->setParameter(6, v);
        EXPECT_EQ(plugin->getParameter(6), v);
        EXPECT_EQ(plugin->parameterDisplay(6), "2.3cm") << v;
        plugin->setParameter(5, v);
        EXPECT_EQ(plugin->getParameter(5), v);
        EXPECT_EQ(plugin->parameterDisplay(5), "None") << v;
    }
}

TEST_F(PluginTest, NonFiniteAndExtrapolatedValuesStayHarmless) {
    auto plugin = load();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int i = 0; i < kNumParams; ++i) {
        const float before = plugin->getParameter(i);
        for (float v : {nan, inf, -inf}) {
            plugin->setParameter(i, v);
            EXPECT_EQ(plugin->getParameter(i), before) << i;
        }
    }
    // Out-of-range values extrapolate; whatever the number, the display fits the host's buffer.
    for (int i = 0; i < kNumParams; ++i) {
        for (float v : {10.0f, -10.0f, 9.57f, 1e30f, -1e30f, 3e38f}) {
            plugin->setParameter(i, v);
            EXPECT_TRUE(std::isfinite(plugin->getParameter(i)));
            char buffer[96];
            std::memset(buffer, 0x5A, sizeof(buffer));
            plugin->dispatch(effGetParamDisplay, i, 0, buffer);
            const size_t length = strnlen(buffer, sizeof(buffer));
            ASSERT_LT(length, 32u) << i << " at " << v;
            for (size_t k = length + 1; k < sizeof(buffer); ++k)
                ASSERT_EQ(buffer[k], 0x5A) << i << " at " << v;
        }
    }
    // About 5e30 Hz needs 33 characters with "%5.1f": the host gets the first 31 digits.
    plugin->setParameter(14, static_cast<float>(std::log10(5e30 / 20.0) / 3.0));
    const std::string shown = plugin->parameterDisplay(14);
    EXPECT_EQ(shown.size(), 31u);
    EXPECT_EQ(shown.find_first_not_of("0123456789"), std::string::npos) << shown;
}

TEST_F(PluginTest, LinkedParametersFollowEachOther) {
    auto plugin = load();
    plugin->setProgram(2);
    plugin->setParameter(8, 1.0f); // EQs Linked
    plugin->setParameter(15 + 7 * 2, 0.4f);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(plugin->getParameter(15 + 7 * c), 0.4f) << c;
        EXPECT_EQ(plugin->parameterDisplay(15 + 7 * c), "  2.0") << c;
    }
    // Gains are not linked: the EQ change leaves every capsule gain alone.
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(plugin->getParameter(17 + 7 * c + k), 0.5f);

    plugin->setParameter(8, 0.0f);
    plugin->setParameter(9, 1.0f); // Gains Linked
    plugin->setParameter(17 + 7, 0.75f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(plugin->getParameter(17 + 7 + k), 0.75f) << k;
        EXPECT_EQ(plugin->parameterDisplay(17 + 7 + k), "  6.0") << k;
    }
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(plugin->getParameter(17 + k), 0.5f) << "capsule 1";
    plugin->setParameter(16, 0.9f);
    EXPECT_EQ(plugin->getParameter(16 + 7), 0.5f) << "EQ gains are not linked now";
}

TEST_F(PluginTest, LinkFlagsStoredInAProgramActWhileItLoads) {
    auto plugin = load();
    // Program 2 gets different EQ frequencies and capsule gains, then both link flags.
    plugin->setProgram(2);
    for (int c = 0; c < 4; ++c) {
        plugin->setParameter(14 + 7 * c, 0.1f + 0.2f * c);
        for (int k = 0; k < 4; ++k)
            plugin->setParameter(17 + 7 * c + k, 0.1f * (c + 1) + 0.02f * k);
    }
    plugin->setParameter(8, 1.0f);
    plugin->setParameter(9, 1.0f);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(plugin->getParameter(14 + 7 * c), 0.1f + 0.2f * c);

    plugin->setProgram(3);
    plugin->setProgram(2);
    // The flags come before the capsule values, so capsule 1's EQ spreads to all four, and each
    // capsule's gain into output 1 spreads to its four outputs.
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(plugin->getParameter(14 + 7 * c), 0.1f) << c;
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(plugin->getParameter(17 + 7 * c + k), 0.1f * (c + 1)) << c << " " << k;
    }
    // The program itself now holds the aligned values.
    plugin->setParameter(8, 0.0f);
    plugin->setParameter(9, 0.0f);
    plugin->setProgram(4);
    plugin->setProgram(2);
    EXPECT_EQ(plugin->getParameter(14 + 7 * 3), 0.1f);
    EXPECT_EQ(plugin->getParameter(17 + 7 * 3 + 3), 0.4f);
}

// ---- programs -----------------------------------------------------------------------------------

TEST_F(PluginTest, ProgramsHaveTheirNamesAndValues) {
    auto plugin = load();
    const char* names[kNumPrograms] = {"Ambrel - uncalibrated",
                                       "1.47cm",
                                       "User 2",
                                       "User 3",
                                       "User 4",
                                       "User 5",
                                       "User 6",
                                       "User 7"};
    EXPECT_EQ(plugin->programName(), names[0]);
    for (int p = 0; p < kNumPrograms; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->dispatch(effGetProgram), p);
        EXPECT_EQ(plugin->programName(), names[p]);
    }

    // Program names by index, without selecting: answered with the same names, or not at all.
    plugin->setProgram(3);
    for (int p = 0; p < kNumPrograms; ++p) {
        char buffer[64];
        std::memset(buffer, 0x5A, sizeof(buffer));
        const VstIntPtr answer = plugin->dispatch(effGetProgramNameIndexed, p, -1, buffer);
        if (answer == 1) {
            EXPECT_STREQ(buffer, names[p]);
            for (size_t i = std::strlen(names[p]) + 1; i < sizeof(buffer); ++i)
                ASSERT_EQ(buffer[i], 0x5A);
        } else {
            EXPECT_EQ(answer, 0);
            for (char c : buffer)
                ASSERT_EQ(c, 0x5A);
        }
    }
    EXPECT_EQ(plugin->dispatch(effGetProgram), 3);
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof(buffer));
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, kNumPrograms, 0, buffer), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, -1, 0, buffer), 0);
    for (char c : buffer)
        ASSERT_EQ(c, 0x5A);

    // The factory programs' values, and a user program's.
    plugin->setProgram(0);
    EXPECT_FLOAT_EQ(plugin->getParameter(0), 1.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(1), 0.08834819f);
    EXPECT_FLOAT_EQ(plugin->getParameter(2), 0.79775119f);
    EXPECT_FLOAT_EQ(plugin->getParameter(42), 0.23333333f);
    EXPECT_FLOAT_EQ(plugin->getParameter(6), 0.28571430f);
    EXPECT_EQ(plugin->getParameter(10), 1.0f);
    EXPECT_EQ(plugin->getParameter(7), 0.0f);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(plugin->getParameter(14 + 7 * c), 0.0f);
        EXPECT_EQ(plugin->getParameter(15 + 7 * c), 0.0f);
        EXPECT_EQ(plugin->getParameter(16 + 7 * c), 0.5f);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(plugin->getParameter(17 + 7 * c + k), 0.5f);
    }
    for (int k = 1; k < 4; ++k)
        EXPECT_EQ(plugin->getParameter(42 + k), 0.5f);

    plugin->setProgram(1);
    EXPECT_FLOAT_EQ(plugin->getParameter(1), 0.16053392f);
    EXPECT_FLOAT_EQ(plugin->getParameter(2), 0.36278272f);
    EXPECT_FLOAT_EQ(plugin->getParameter(42), 0.34099999f);
    EXPECT_FLOAT_EQ(plugin->getParameter(6), 0.14285715f);
    EXPECT_EQ(plugin->parameterDisplay(1), " 30.0");
    EXPECT_EQ(plugin->parameterDisplay(2), " 50.0");
    EXPECT_EQ(plugin->parameterDisplay(42), " -4.8");
    EXPECT_EQ(plugin->parameterDisplay(6), "1.47cm");
    EXPECT_EQ(plugin->record()->initialDelay, 1024);

    plugin->setProgram(5);
    EXPECT_EQ(plugin->getParameter(0), 0.0f);
    EXPECT_EQ(plugin->getParameter(1), 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(1), "250.0");
    EXPECT_EQ(plugin->parameterDisplay(6), "None");
    EXPECT_EQ(plugin->parameterDisplay(14), " 20.0");
    EXPECT_EQ(plugin->getParameter(42), 0.5f);
    EXPECT_EQ(plugin->record()->initialDelay, 0);
    EXPECT_GE(host.count(audioMasterIOChanged), 1) << "the host hears of the latency change";

    // Request 2 only selects programs that exist.
    plugin->setProgram(7);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 7);
    plugin->setProgram(8);
    plugin->setProgram(-1);
    plugin->setProgram(1000);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 7);
}

TEST_F(PluginTest, ProgramsKeepEditsAndNames) {
    auto plugin = load();
    plugin->setProgram(2);
    plugin->setParameter(43, 0.8f);
    plugin->setProgram(3);
    EXPECT_EQ(plugin->getParameter(43), 0.5f);
    plugin->setProgram(2);
    EXPECT_EQ(plugin->getParameter(43), 0.8f) << "the edit stayed with program 2";

    // "Calibration" survives a program change.
    plugin->setParameter(4, 1.0f);
    plugin->setProgram(6);
    EXPECT_EQ(plugin->getParameter(4), 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(4), "Yes");

    plugin->setProgramName("Hall A");
    EXPECT_EQ(plugin->programName(), "Hall A");
    plugin->setProgramName(std::string(40, 'n'));
    EXPECT_EQ(plugin->programName(), std::string(23, 'n'));
    plugin->setProgram(4);
    plugin->setProgramName("Init");
    EXPECT_EQ(plugin->programName(), "Init 5");
    plugin->setProgram(6);
    EXPECT_EQ(plugin->programName(), std::string(23, 'n'));

    // The host's program-name buffer holds 24 bytes: nothing lands past them.
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof(buffer));
    plugin->dispatch(effGetProgramName, 0, 0, buffer);
    EXPECT_EQ(std::strlen(buffer), 23u);
    for (size_t i = 24; i < sizeof(buffer); ++i)
        ASSERT_EQ(buffer[i], 0x5A);
}

TEST_F(PluginTest, SwitchingOffAndOnChangesNothing) {
    auto reference = load();
    auto switched = load();
    reference->start();
    switched->start();
    const Channels in = noise(6000, 11);
    Channels a = makeChannels(6000), b = makeChannels(6000);
    reference->processBlock(in, a, 0, 3000);
    switched->processBlock(in, b, 0, 3000);
    ASSERT_GT(largest(a, 3000), 0.1) << "the plug-in produced no signal";
    std::vector<float> before(kNumParams);
    for (int i = 0; i < kNumParams; ++i)
        before[i] = switched->getParameter(i);
    switched->dispatch(effMainsChanged, 0, 0);
    switched->dispatch(effMainsChanged, 0, 1);
    for (int i = 0; i < kNumParams; ++i)
        EXPECT_EQ(switched->getParameter(i), before[i]) << i;
    EXPECT_EQ(switched->dispatch(effGetProgram), 0);
    reference->processBlock(in, a, 3000, 3000);
    switched->processBlock(in, b, 3000, 3000);
    EXPECT_TRUE(sameSamples(a, b)) << "filter memory survived";
}

// ---- audio
// ---------------------------------------------------------------------------------------

TEST_F(PluginTest, MatrixTurnsCapsulesIntoBFormat) {
    auto plugin = load();
    plugin->start();
    plugin->setProgram(2); // a user program: only the matrix runs
    const Channels in = noise(5000, 1, 1.0f);
    Channels out = plugin->process(in, 512);
    const double root2 = std::sqrt(2.0);
    for (size_t i = 0; i < in[0].size(); ++i) {
        const double a = in[0][i], b = in[1][i], c = in[2][i], d = in[3][i];
        ASSERT_NEAR(out[0][i], (a + b + c + d) / root2, 2e-6) << i;
        ASSERT_NEAR(out[1][i], a + b - c - d, 2e-6) << i;
        ASSERT_NEAR(out[2][i], a - b + c - d, 2e-6) << i;
        ASSERT_NEAR(out[3][i], a - b - c + d, 2e-6) << i;
    }

    // -6 dB from capsule 2 into X only, and -6 dB on the Z output.
    plugin->setParameter(17 + 7 + 1, (-6.0f + 12.0f) / 24.0f);
    plugin->setParameter(45, (-6.0f + 15.0f) / 30.0f);
    out = plugin->process(in, 512);
    const double half = dbToLevel(-6.0);
    for (size_t i = 0; i < in[0].size(); ++i) {
        const double a = in[0][i], b = in[1][i], c = in[2][i], d = in[3][i];
        ASSERT_NEAR(out[0][i], (a + b + c + d) / root2, 2e-6) << i;
        ASSERT_NEAR(out[1][i], a + half * b - c - d, 2e-6) << i;
        ASSERT_NEAR(out[2][i], a - b + c - d, 2e-6) << i;
        ASSERT_NEAR(out[3][i], half * (a - b - c + d), 2e-6) << i;
    }
}

TEST_F(PluginTest, EveryStageOffPassesTheInputThrough) {
    auto plugin = load();
    plugin->start();
    plugin->setProgram(4);
    plugin->setParameter(10, 0.0f); // matrix off; LF, EQ and post-matrix are off already
    const Channels in = noise(3000, 2, 1.0f);
    EXPECT_TRUE(sameSamples(plugin->process(in, 700), in));
}

// The factory programs' low-frequency filters on capsule 1, seen on X (gain 1 through the
// matrix), against the bilinear designs in double precision.
void checkLowFrequencyStage(Plugin& plugin, double cut, double boost, double damping,
                            double wGainDb) {
    const size_t frames = 24000;
    Channels in = makeChannels(frames);
    in[0][0] = 1.0f;
    const Channels out = plugin.process(in, 512);
    std::vector<double> impulse(frames, 0.0);
    impulse[0] = 1.0;
    const std::vector<double> reference =
        lowFrequencyReference(cut, boost, damping, 48000.0, impulse);
    double worst = 0.0;
    for (size_t i = 0; i < frames; ++i)
        worst = std::max(worst, std::fabs(out[1][i] - reference[i]));
    EXPECT_LT(worst, 2e-5) << "largest difference from the reference";
    EXPECT_NEAR(out[1][0], reference[0], 1e-6);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(out[2][i], out[1][i]) << i;
        ASSERT_EQ(out[3][i], out[1][i]) << i;
        ASSERT_NEAR(out[0][i], out[1][i] * dbToLevel(wGainDb) / std::sqrt(2.0),
                    1e-6 * std::fabs(out[1][i]) + 1e-12)
            << i;
    }
    // Responses from the direct DFT of both impulse responses (2 Hz bins). Near and below the cut
    // the high-passes' response rests on 1 + a1 + a2, about 1e-5, so the single-precision
    // coefficients the filters keep move it by up to a few tenths of a dB; further up it must
    // match closely.
    const std::vector<float> measured(out[1].begin(), out[1].end());
    for (int hz : {20, 26, 50, 100, 150, 300, 1000, 5000}) {
        const int k = hz / 2;
        const double m = std::abs(dftBin(measured, k, static_cast<int>(frames)));
        const double e = std::abs(dftBin(reference, k, static_cast<int>(frames)));
        EXPECT_NEAR(levelToDb(m), levelToDb(e), hz <= 2 * cut ? 0.3 : 0.02) << hz << " Hz";
    }
}

TEST_F(PluginTest, FactoryProgramsRunTheirLowFrequencyFilters) {
    auto plugin = load();
    plugin->start(48000.0f);
    plugin->setParameter(6, 0.0f); // no correction, to see the LF stage alone
    checkLowFrequencyStage(*plugin, 25.0, 150.0, 1.109, -8.0);

    auto second = load();
    second->start(48000.0f);
    second->setProgram(1);
    second->setParameter(6, 0.0f);
    checkLowFrequencyStage(*second, 30.0, 50.0, 1.109 + (5.0 / 25.0) * 0.509, -4.77);
}

// Magnitude of a correction filter from its measured impulse response, in dB: the overlap-save
// frame makes the response exactly the 2048-point DFT of what comes out.
double correctionDb(const std::vector<float>& out, int bin, double inputLevel) {
    return levelToDb(std::abs(dftBin(out, bin, 2048)) / inputLevel);
}

TEST_F(PluginTest, CorrectionFiltersDelayBy1024AndShapeTheResponse) {
    // Program 0 as it stands: an impulse on all four capsules gives W only, peaking at the
    // announced delay.
    auto plugin = load();
    plugin->start(48000.0f);
    const size_t frames = 8192;
    Channels in = makeChannels(frames);
    for (int c = 0; c < 4; ++c)
        in[c][0] = 1.0f;
    Channels out = plugin->process(in, 512);
    EXPECT_EQ(peakIndex(out[0]), static_cast<size_t>(plugin->record()->initialDelay));
    EXPECT_EQ(peakIndex(out[0]), 1024u);
    for (int c = 1; c < 4; ++c)
        for (size_t i = 0; i < frames; ++i)
            ASSERT_EQ(out[c][i], 0.0f) << c << " " << i;

    // Capsule 1 alone: X, Y and Z peak at 1024 too.
    auto single = load();
    single->start(48000.0f);
    Channels one = makeChannels(frames);
    one[0][0] = 1.0f;
    out = single->process(one, 512);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(peakIndex(out[c]), 1024u) << c;

    // The velocity correction for 2.3 cm, LF stage off: X carries the filter alone.
    auto x23 = load();
    x23->start(48000.0f);
    x23->setParameter(0, 0.0f);
    out = x23->process(one, 512);
    EXPECT_EQ(peakIndex(out[1]), 1024u);
    EXPECT_NEAR(correctionDb(out[1], 42, 1.0), -4.15, 0.05);
    EXPECT_NEAR(correctionDb(out[1], 853, 1.0), -6.84, 0.05);

    // The omnidirectional correction for 1.47 cm (program 1, LF off, W at 0 dB): W = 1/sqrt2.
    // The set runs at 44.1 kHz first; the host's new rate redesigns it.
    auto w147 = load();
    w147->setProgram(1);
    w147->setParameter(0, 0.0f);
    w147->setParameter(42, 0.5f);
    const Channels warmUp = w147->process(noise(5000, 12), 512);
    ASSERT_GT(largest(warmUp, 5000), 0.01);
    w147->start(48000.0f);
    out = w147->process(one, 512);
    EXPECT_EQ(peakIndex(out[0]), 1024u);
    EXPECT_NEAR(correctionDb(out[0], 42, 1.0 / std::sqrt(2.0)), -6.76, 0.05);
    EXPECT_NEAR(correctionDb(out[0], 298, 1.0 / std::sqrt(2.0)), -1.00, 0.05);
    for (size_t i = 0; i < 1024; ++i) {
        // What leaves before the delay is the wrapped tail of the circular response: small.
        ASSERT_LT(std::fabs(out[0][i]), 0.05 * std::fabs(out[0][1024])) << i;
    }
}

TEST_F(PluginTest, OutputDoesNotDependOnBlockSizes) {
    const Channels in = noise(40000, 3);
    auto reference = load();
    reference->start();
    const Channels expected = reference->process(in, 4096);
    ASSERT_GT(largest(expected, expected[0].size()), 0.1) << "the plug-in produced no signal";
    ASSERT_FALSE(sameSamples(expected, in)) << "program 0 filters";
    const std::vector<std::vector<int>> schedules = {
        {1}, {64}, {512}, {4096}, {1, 7, 64, 300, 512, 1023, 4096, 13, 2048, 1024, 999}};
    for (const auto& schedule : schedules) {
        auto plugin = load();
        plugin->start();
        EXPECT_TRUE(sameSamples(plugin->process(in, schedule), expected))
            << "first block " << schedule[0];
    }

    // Everything on: LF, EQ and the 1.47 cm correction.
    auto busy = load();
    busy->start();
    busy->setProgram(1);
    busy->setParameter(7, 1.0f);
    for (int c = 0; c < 4; ++c) {
        busy->setParameter(14 + 7 * c, 0.6f + 0.05f * c);
        busy->setParameter(15 + 7 * c, 0.2f);
        busy->setParameter(16 + 7 * c, 0.7f);
    }
    const Channels busyExpected = busy->process(in, 4096);
    auto busyMixed = load();
    busyMixed->start();
    busyMixed->setProgram(1);
    busyMixed->setParameter(7, 1.0f);
    for (int c = 0; c < 4; ++c) {
        busyMixed->setParameter(14 + 7 * c, 0.6f + 0.05f * c);
        busyMixed->setParameter(15 + 7 * c, 0.2f);
        busyMixed->setParameter(16 + 7 * c, 0.7f);
    }
    EXPECT_TRUE(sameSamples(busyMixed->process(in, schedules[4]), busyExpected));
}

TEST_F(PluginTest, InPlaceProcessingGivesTheSameResult) {
    const Channels in = noise(20000, 4);
    const std::vector<int> schedule = {512, 100, 1, 4096, 333};
    for (int program : {0, 1, 2}) {
        auto separate = load();
        auto inPlace = load();
        separate->start();
        inPlace->start();
        separate->setProgram(program);
        inPlace->setProgram(program);
        const Channels expected = separate->process(in, schedule);
        ASSERT_GT(largest(expected, expected[0].size()), 0.1);
        EXPECT_TRUE(sameSamples(inPlace->processInPlace(in, schedule), expected))
            << "program " << program;
    }
}

TEST_F(PluginTest, EmptyAndHugeBlocks) {
    const Channels in = noise(1 << 20, 5);
    auto reference = load();
    reference->start();
    const Channels expected = reference->process(in, 4096);

    // One block of 2^20 frames.
    auto huge = load();
    huge->start();
    EXPECT_TRUE(sameSamples(huge->process(in, 1 << 20), expected));

    // Blocks of 0 frames between the others change nothing, not even the buffers they get.
    auto empty = load();
    empty->start();
    Channels out = makeChannels(in[0].size(), 7.0f);
    size_t done = 0;
    while (done < in[0].size()) {
        empty->processBlock(in, out, done, 0);
        ASSERT_EQ(out[0][done], 7.0f);
        ASSERT_EQ(out[3][done], 7.0f);
        empty->processBlock(in, out, done, 4096);
        done += 4096;
    }
    EXPECT_TRUE(sameSamples(out, expected));
}

TEST_F(PluginTest, ExtremeSettingsNeverProduceNonFiniteOrSubnormalOutput) {
    struct Setting {
        int index;
        float value;
    };
    const std::vector<std::vector<Setting>> cases = {
        {{0, 1.0f}, {1, 0.0f}, {2, 1.0f}, {7, 1.0f}, {14, 1.0f}, {15, 0.0f}, {16, 1.0f}},
        {{0, 1.0f}, {1, 1.0f}, {2, 0.0f}, {7, 1.0f}, {14, 0.0f}, {15, 1.0f}, {16, 0.0f}},
        {{0, 1.0f}, {1, 5.0f}, {2, -5.0f}, {7, 1.0f}, {14, 10.0f}, {15, -1.0f}, {16, 0.5f}},
        {{0, 1.0f}, {1, -3.0f}, {2, 3.0f}, {7, 1.0f}, {14, -2.0f}, {15, 3.0f}, {16, 1.0f}},
        {{6, 1.0f / 7.0f}, {7, 1.0f}, {14, 0.999f}, {15, 0.001f}, {16, 1.0f}},
        {{0, 1.0f}, {1, 3e38f}, {2, -3e38f}, {7, 1.0f}, {14, 3e38f}, {15, 3e38f}, {16, 0.5f}},
        {{0, 1.0f}, {1, -3e38f}, {2, 3e38f}, {7, 1.0f}, {14, -3e38f}, {15, 0.0f}, {16, 0.0f}},
    };
    // The control bits (rounding, flush-to-zero, denormals-are-zero, masks); bits 0 to 5 are
    // sticky exception flags that any inexact operation sets.
    const auto mode = [] { return _mm_getcsr() & ~0x3Fu; };
    const unsigned savedMode = mode();
    for (size_t n = 0; n < cases.size(); ++n) {
        auto plugin = load();
        plugin->start(44100.0f);
        plugin->setProgram(2);
        for (const Setting& s : cases[n])
            plugin->setParameter(s.index, s.value);
        // A second of noise, then ten seconds of silence for the tails to decay.
        Channels in = noise(11 * 44100, 6 + static_cast<unsigned>(n), 1.0f);
        for (auto& channel : in)
            std::fill(channel.begin() + 44100, channel.end(), 0.0f);
        const Channels out = plugin->process(in, 512);
        EXPECT_GT(largest(out, 44100), 1e-3) << "case " << n << " produced no signal";
        EXPECT_EQ(mode(), savedMode) << "the host's floating-point mode was changed";
        size_t nonFinite = 0, subnormal = 0;
        for (const auto& channel : out)
            for (float v : channel) {
                nonFinite += std::isfinite(v) ? 0 : 1;
                subnormal += std::fpclassify(v) == FP_SUBNORMAL ? 1 : 0;
            }
        EXPECT_EQ(nonFinite, 0u) << "case " << n;
        EXPECT_EQ(subnormal, 0u) << "case " << n;
    }
}

TEST_F(PluginTest, ProgramZeroTailsStayOutOfTheSubnormalRange) {
    auto plugin = load();
    plugin->start(48000.0f);
    Channels in = makeChannels(30 * 48000);
    for (int c = 0; c < 4; ++c)
        in[c][0] = 1.0f;
    const Channels out = plugin->process(in, 512);
    ASSERT_GT(std::fabs(out[0][1024]), 0.1);
    size_t subnormal = 0;
    for (const auto& channel : out)
        for (float v : channel)
            subnormal += std::fpclassify(v) == FP_SUBNORMAL ? 1 : 0;
    EXPECT_EQ(subnormal, 0u);
}

TEST_F(PluginTest, InstancesOnSeveralThreadsShareNothing) {
    const Channels in = noise(30000, 9);
    const int programs[] = {0, 1, 2};
    std::vector<Channels> alone;
    for (int program : programs) {
        auto plugin = load();
        plugin->start();
        plugin->setProgram(program);
        alone.push_back(plugin->process(in, 512));
        ASSERT_GT(largest(alone.back(), 30000), 0.1);
    }
    ASSERT_FALSE(sameSamples(alone[0], alone[1])) << "programs 0 and 1 differ";
    host.clear();

    constexpr int kThreads = 6;
    std::vector<Channels> results(kThreads);
    std::vector<int> loaded(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Library own(kPluginPath); // each thread opens the object itself, as a host may
            Plugin plugin(own, &host);
            if (!plugin.ok()) return;
            loaded[t] = 1;
            plugin.start();
            plugin.setProgram(programs[t % 3]);
            results[t] = plugin.process(in, std::vector<int>{512, 64, 1000});
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(loaded[t], 1) << t;
        EXPECT_TRUE(sameSamples(results[t], alone[t % 3])) << "thread " << t;
    }
    EXPECT_EQ(host.count(audioMasterVersion), kThreads);
}

// ---- calibrations directory
// ----------------------------------------------------------------------

TEST_F(PluginTest, MissingCalibrationsDirectoryIsReportedWithoutBlocking) {
    std::unique_ptr<Plugin> plugin;
    const std::string missing = captureStderr([&] { plugin = load(); });
    ASSERT_TRUE(plugin->ok());
    EXPECT_NE(missing.find("XeTetraVST: "), std::string::npos) << missing;
    EXPECT_NE(missing.find("not found"), std::string::npos) << missing;
    plugin.reset();

    // With an empty directory in place there is nothing to report and nothing to import.
    home.makeDirectory("Library");
    home.makeDirectory("Library/Audio");
    home.makeDirectory("Library/Audio/Plug-Ins");
    home.makeDirectory("Library/Audio/Plug-Ins/VST");
    home.makeDirectory("Library/Audio/Plug-Ins/VST/calibrations");
    const std::string present = captureStderr([&] { plugin = load(); });
    ASSERT_TRUE(plugin->ok());
    EXPECT_EQ(present.find("not found"), std::string::npos) << present;
    for (int p = 2; p < kNumPrograms; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->programName(), "User " + std::to_string(p));
    }
}

} // namespace
