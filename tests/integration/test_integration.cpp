// The built plug-in, loaded and driven exactly as a host does: dlopen, the entry point, and from
// then on only the record. Every test loads it with HOME at an empty directory, so without
// calibrations unless it puts one there: the report of the missing directory must not block (its
// text is checked by the editor window tests). Finer checks of the processor itself are in
// tests/core.

#include "PluginFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <set>

using namespace vsthost;

namespace {

constexpr int kNumParams = 51;
constexpr int kNumPrograms = 8;
constexpr int kPostMatrixFilter = 6;
constexpr VstInt32 kUniqueID = 0x58655431; // 'XeT1'

size_t peakIndex(const std::vector<float>& signal) {
    return static_cast<size_t>(
        std::max_element(signal.begin(), signal.end(),
                         [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
        signal.begin());
}

// A host answering version 0 gets no record from either entry point; any other version does, and
// loading asks the host for its version and nothing else.
TEST_F(PluginTest, EntryPointsAndTheShapeOfTheRecord) {
    host.versionAnswer = 0;
    EXPECT_EQ(library->load(&host), nullptr);
    EXPECT_EQ(library->load(&host, "main"), nullptr);
    EXPECT_EQ(library->entry()(nullptr), nullptr) << "no host callback at all";
    host.versionAnswer = 1;
    AEffect* viaMain = library->load(&host, "main");
    ASSERT_NE(viaMain, nullptr);
    EXPECT_EQ(viaMain->uniqueID, kUniqueID);
    EXPECT_EQ(viaMain->dispatcher(viaMain, effClose, 0, 0, nullptr, 0.0f), 1);
    const auto requests = host.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const HostRequest& r : requests)
        EXPECT_TRUE(r.opcode == audioMasterVersion && r.effect == nullptr && r.index == 0 &&
                    r.value == 0);

    host.clear();
    auto plugin = load();
    const AEffect* r = plugin->record();
    const std::vector<VstInt32> shape = {
        r->magic, r->numPrograms, r->numParams, r->numInputs,     r->numOutputs,
        r->flags, r->uniqueID,    r->version,   r->realQualities, r->offQualities};
    EXPECT_EQ(shape, (std::vector<VstInt32>{0x56737450, kNumPrograms, kNumParams, 4, 4,
                                            effFlagsHasEditor | effFlagsCanReplacing |
                                                effFlagsProgramChunks,
                                            kUniqueID, 1, 0, 0}));
    EXPECT_EQ(r->ioRatio, 1.0f);
    // The deprecated accumulating entry and the unannounced double-precision one write nothing.
    std::vector<float> f(64, 7.0f);
    std::vector<double> d(64, 7.0);
    float* floats[4] = {f.data(), f.data(), f.data(), f.data()};
    double* doubles[4] = {d.data(), d.data(), d.data(), d.data()};
    r->process(plugin->record(), floats, floats, 64);
    r->processDoubleReplacing(plugin->record(), doubles, doubles, 64);
    EXPECT_EQ(f, std::vector<float>(64, 7.0f));
    EXPECT_EQ(d, std::vector<double>(64, 7.0));
    EXPECT_EQ(host.requests().size(), 1u);
}

TEST_F(PluginTest, AnswersEveryRequestOfTheTable) {
    auto plugin = load();
    EXPECT_EQ(plugin->dispatch(effOpen), 0);
    plugin->start(); // sample rate, block size, switched on
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    EXPECT_EQ(plugin->dispatch(effGetPlugCategory), 7);
    EXPECT_EQ(plugin->dispatch(effGetVendorVersion), 1800);
    EXPECT_EQ(plugin->dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(plugin->dispatch(effEditIdle), 1);
    EXPECT_EQ(plugin->dispatch(effEditClose), 1);
    for (int i = -1; i <= kNumParams; ++i)
        EXPECT_EQ(plugin->dispatch(effCanBeAutomated, i), i >= 0 && i < kNumParams ? 1 : 0) << i;
    for (const char* query : {"receiveVstMidiEvent", "sendVstEvents", "bypass", "4in4out", ""}) {
        std::string copy = query;
        EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, copy.data()), 0) << query;
    }
    for (VstInt32 opcode : {effGetEffectName, effGetProductString})
        EXPECT_EQ(plugin->text(opcode), "Xerio Kalen Ambrel");
    EXPECT_EQ(plugin->text(effGetVendorString), "XeAudio");
    // Switching on, the editor's idle and close before any open: nothing asked of the host.
    EXPECT_EQ(host.requests().size(), 1u);

    // Requests outside the table: the neutral answer, and nothing written through the pointer.
    const std::set<VstInt32> table = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10, 11, 12, 13, 14, 15,
                                      19, 23, 24, 26, 29, 33, 34, 35, 45, 47, 48, 49, 51, 58};
    for (VstInt32 opcode = -1; opcode <= 80; ++opcode) {
        if (table.count(opcode) != 0) continue;
        HostBuffer buffer;
        EXPECT_EQ(plugin->dispatch(opcode, 1, 1, buffer.bytes, 1.0f), 0) << opcode;
        EXPECT_TRUE(buffer.untouchedFrom(0)) << opcode;
    }
    EXPECT_EQ(plugin->dispatch(1000), 0);
    EXPECT_EQ(plugin->closeRequest(), 1);
}

// The names and labels of the parameter table, and the displays after setting index i to a value
// of its own, (7i mod 46 + 0.5) / 46, formatted from the conversions in double by hand.
std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == '|')
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

const std::vector<std::string> kNames = split(
    "LF Enabled|LF Cut Freq|LF Boost Freq|Locked|Calibration|PreMatrix Filter Number|"
    "PostMatrix Filter Number|EQs Enabled|EQs Linked|Gains Linked|AB Matrix Enabled|"
    "Current Capsule|View Mode|Display VU|"
    "Cap 1 EQ Freq|Cap 1 EQ Width|Cap 1 EQ Gain|Cap 1 Out 1 Gain|Cap 1 Out 2 Gain|Cap 1 Out 3 Gain|"
    "Cap 1 Out 4 Gain|Cap 2 EQ Freq|Cap 2 EQ Width|Cap 2 EQ Gain|Cap 2 Out 1 Gain|Cap 2 Out 2 Gain|"
    "Cap 2 Out 3 Gain|Cap 2 Out 4 Gain|Cap 3 EQ Freq|Cap 3 EQ Width|Cap 3 EQ Gain|Cap 3 Out 1 Gain|"
    "Cap 3 Out 2 Gain|Cap 3 Out 3 Gain|Cap 3 Out 4 Gain|Cap 4 EQ Freq|Cap 4 EQ Width|Cap 4 EQ Gain|"
    "Cap 4 Out 1 Gain|Cap 4 Out 2 Gain|Cap 4 Out 3 Gain|Cap 4 Out 4 Gain|Output 1 Gain|"
    "Output 2 Gain|Output 3 Gain|Output 4 Gain|Output Order|Orientation|Invert X|Invert Y|Invert "
    "Z");
const std::vector<std::string> kLabels = split(
    "|Hz|Hz|||||||||||"
    "|Hz|Octaves|dB|dB|dB|dB|dB|Hz|Octaves|dB|dB|dB|dB|dB|Hz|Octaves|dB|dB|dB|dB|dB|Hz|Octaves|dB|"
    "dB|dB|dB|dB|dB|dB|dB|dB|||||");
const std::vector<std::string> kOwnValueDisplays = split(
    "No| 30.2| 44.3|No|Yes|None|2.3cm|No|No|No|Yes| 3| 2|Yes| 53.1|  1.5| -1.6|  2.3|  6.0|  9.7|"
    "-10.7| 83.3|  1.8|  0.3|  3.9|  7.6| 11.2| -9.1|130.7|  2.1|  2.3|  5.5|  9.1|-11.2| -7.6|"
    "205.1|  2.4|  4.2|  7.0| 10.7| -9.7| -6.0| -2.9|  1.6|  6.2| 10.8|FuMa|Upright|Off|Off|On");

float ownValue(int index) {
    return static_cast<float>((index * 7 % 46 + 0.5) / 46.0);
}

TEST_F(PluginTest, ParameterTableAsTheHostReadsIt) {
    auto plugin = load();
    // All values first, then all texts: a value landing in another parameter's slot shows.
    for (int i = 0; i < kNumParams; ++i)
        plugin->setParameter(i, ownValue(i));
    ASSERT_TRUE(kNames.size() == 51 && kLabels.size() == 51 && kOwnValueDisplays.size() == 51);
    for (int i = 0; i < kNumParams; ++i) {
        EXPECT_EQ(plugin->getParameter(i), ownValue(i)) << i;
        EXPECT_EQ(plugin->text(effGetParamName, i), kNames[i]) << i;
        EXPECT_EQ(plugin->text(effGetParamLabel, i), kLabels[i]) << i;
        EXPECT_EQ(plugin->parameterDisplay(i), kOwnValueDisplays[i]) << i;
    }
    // Indices that name no parameter: answer 0 and leave the host's buffer alone.
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay})
        for (int index : {-1, kNumParams, 1000}) {
            HostBuffer buffer;
            plugin->dispatch(opcode, index, 0, buffer.bytes);
            EXPECT_TRUE(buffer.untouchedFrom(0)) << opcode << " " << index;
        }
    // Non-finite values are refused (other values and texts of every size are the fuzzer's).
    for (float v : {NAN, INFINITY, -INFINITY})
        plugin->setParameter(0, v);
    EXPECT_EQ(plugin->getParameter(0), ownValue(0));
    plugin->setParameter(kNumParams, 0.7f);
    EXPECT_EQ(plugin->getParameter(-1), 0.0f);
    EXPECT_EQ(plugin->getParameter(kNumParams), 0.0f);

    // The choices of the output parameters at their edges; a value beyond the ends of the
    // orientation picks the nearer one.
    const struct {
        int index;
        float value;
        const char* display;
    } choices[] = {{46, 0.5f, "FuMa"},     {46, 0.51f, "ambiX"},   {47, -3.0f, "Upright"},
                   {47, 0.49f, "Upright"}, {47, 0.5f, "Inverted"}, {47, 0.99f, "Inverted"},
                   {47, 1.0f, "Endfire"},  {47, 7.0f, "Endfire"},  {48, 0.5f, "Off"},
                   {49, 0.51f, "On"},      {50, 1.0f, "On"}};
    for (const auto& c : choices) {
        plugin->setParameter(c.index, c.value);
        EXPECT_EQ(plugin->getParameter(c.index), c.value);
        EXPECT_EQ(plugin->parameterDisplay(c.index), c.display) << c.index << " " << c.value;
    }
}

// Names by index without selecting (request 29) and of the selected program (request 5), the
// factory values, and what a program keeps: its own edits, but not "Calibration" and
// "Display VU", which belong to the instance.
TEST_F(PluginTest, ProgramsAsTheHostSeesThem) {
    auto plugin = load();
    plugin->setProgram(3);
    plugin->setProgramName("Init");
    plugin->setProgram(6);
    plugin->setProgramName(std::string(40, 'n')); // cut to 23 characters
    plugin->setProgram(5);
    std::vector<std::string> names = {
        "Ambrel - uncalibrated", "1.47cm", "User 2", "Init 4", "User 4", "User 5",
        std::string(23, 'n'),    "User 7"};
    for (int p = 0; p < kNumPrograms; ++p) {
        HostBuffer buffer;
        EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, p, 0, buffer.bytes), 1);
        EXPECT_EQ(buffer.bytes, names[p]);
        EXPECT_TRUE(buffer.untouchedFrom(names[p].size() + 1)) << p;
    }
    EXPECT_EQ(plugin->dispatch(effGetProgram), 5);
    for (int p = 0; p < kNumPrograms; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->dispatch(effGetProgram), p);
        EXPECT_EQ(plugin->programName(), names[p]);
    }
    // Out of range: request 29 answers 0 and leaves the buffer alone; request 2 selects nothing.
    for (VstInt32 index : {-1, 8, 1 << 30}) {
        HostBuffer buffer;
        EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, index, 0, buffer.bytes), 0);
        EXPECT_TRUE(buffer.untouchedFrom(0));
        plugin->setProgram(index);
    }
    // Numbers that would name a program once cut to 32 bits.
    for (VstIntPtr value : {(VstIntPtr(1) << 33) + 2, -(VstIntPtr(1) << 33)})
        plugin->dispatch(effSetProgram, 0, value);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 7);

    plugin->setParameter(4, 1.0f);  // Calibration
    plugin->setParameter(13, 1.0f); // Display VU
    plugin->setProgram(2);
    for (int i = 43; i < kNumParams; ++i) // Output 2 to 4 Gain and the output parameters
        plugin->setParameter(i, 1.0f);
    plugin->setProgram(3);
    for (int i = 43; i < kNumParams; ++i)
        EXPECT_EQ(plugin->getParameter(i), i < 46 ? 0.5f : 0.0f) << i;
    EXPECT_EQ(plugin->getParameter(4), 1.0f);
    EXPECT_EQ(plugin->getParameter(13), 1.0f);
    plugin->setProgram(2);
    for (int i = 43; i < kNumParams; ++i)
        EXPECT_EQ(plugin->getParameter(i), 1.0f) << i;
}

// What a host saves with the session and restores into a new instance: the bank, or the current
// program alone. Every name, value and sample comes back; a restored delay is announced.
TEST_F(PluginTest, ChunksBringBackTheSession) {
    const auto chunk = [](Plugin& plugin, int index) {
        void* data = nullptr;
        const VstIntPtr size = plugin.dispatch(effGetChunk, index, 0, &data);
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        return size > 0 && bytes != nullptr ? std::vector<uint8_t>(bytes, bytes + size)
                                            : std::vector<uint8_t>();
    };
    // Every program's name and every current value.
    const auto state = [](Plugin& plugin) {
        std::vector<std::string> list;
        for (int p = 0; p < kNumPrograms; ++p)
            list.push_back(plugin.text(effGetProgramNameIndexed, p));
        for (int i = 0; i < kNumParams; ++i) {
            char value[32]; // exactly, in hexadecimal
            std::snprintf(value, sizeof(value), "%a", static_cast<double>(plugin.getParameter(i)));
            list.push_back(value);
        }
        return list;
    };

    auto session = load();
    session->start();
    session->setProgram(5);
    session->setProgramName("Close pair");
    session->setParameter(43, 0.3f);
    session->setProgram(1); // the 1.47 cm correction: 1024 samples of delay
    session->setProgramName("Spaced, 1.47");
    session->setParameter(0, 0.0f); // LF off
    session->setParameter(7, 1.0f); // EQs on
    for (int c = 0; c < 4; ++c) {
        session->setParameter(14 + 7 * c, 0.55f + 0.1f * c);
        session->setParameter(15 + 7 * c, 0.3f);
        session->setParameter(16 + 7 * c, 0.75f);
    }
    session->setParameter(18, 0.65f); // Cap 1 Out 2 Gain
    session->setParameter(47, 1.0f);  // Orientation Endfire
    session->setParameter(49, 1.0f);  // Invert Y
    session->setParameter(13, 1.0f);  // Display VU, the instance's own
    const std::vector<uint8_t> bank = chunk(*session, 0);
    const std::vector<uint8_t> program = chunk(*session, 1);

    // A new instance at another program, with another delay, takes the bank.
    auto restored = load();
    restored->start();
    restored->setProgram(3);
    int announced = host.count(audioMasterIOChanged);
    EXPECT_EQ(restored->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()),
                                 const_cast<uint8_t*>(bank.data())),
              1);
    EXPECT_EQ(host.count(audioMasterIOChanged) - announced, 1);
    EXPECT_EQ(restored->record()->initialDelay, 1024);
    EXPECT_EQ(restored->dispatch(effGetProgram), 1);
    EXPECT_EQ(state(*restored), state(*session));
    restored->setProgram(5);
    EXPECT_EQ(restored->getParameter(43), 0.3f);
    restored->setProgram(1);

    // Another takes the program alone, into its own current program; the rest stays its own.
    auto single = load();
    single->start();
    single->setProgram(6);
    announced = host.count(audioMasterIOChanged);
    EXPECT_EQ(single->dispatch(effSetChunk, 1, static_cast<VstIntPtr>(program.size()),
                               const_cast<uint8_t*>(program.data())),
              1);
    EXPECT_EQ(host.count(audioMasterIOChanged) - announced, 1);
    EXPECT_EQ(single->record()->initialDelay, 1024);
    EXPECT_EQ(single->dispatch(effGetProgram), 6);
    // Its other programs and Display VU (index 13), the instance's own, stay.
    std::vector<std::string> expected = state(*session), fresh = state(*load());
    expected[8 + 13] = fresh[8 + 13];
    for (int p = 0; p < kNumPrograms; ++p)
        if (p != 6) expected[p] = fresh[p];
    expected[6] = "Spaced, 1.47";
    EXPECT_EQ(state(*single), expected);

    // All three sound the same, sample for sample, from the same (fresh) filter memory.
    const Channels in = noise(20000, 11);
    const Channels out = session->process(in, 512);
    ASSERT_GT(peak(out), 0.1);
    EXPECT_TRUE(restored->process(in, 512) == out);
    EXPECT_TRUE(single->process(in, 512) == out);

    // Saved again, the restored bank is the same bytes; a host may ask twice before it copies.
    EXPECT_EQ(chunk(*restored, 0), bank);
    EXPECT_EQ(chunk(*restored, 0), bank);
}

// ---- audio through processReplacing ------------------------------------------------------------

TEST_F(PluginTest, MatrixTurnsCapsulesIntoBFormat) {
    auto plugin = load();
    plugin->start();
    plugin->setProgram(2);          // a user program: only the matrix runs
    plugin->setParameter(14, 0.6f); // equaliser settings, which change nothing while it is off
    plugin->setParameter(16, 1.0f);
    const Channels in = noise(5000, 1, 1.0f);
    // W = (a+b+c+d)/sqrt2, X = a+b-c-d, Y = a-b+c-d, Z = a-b-c+d, with capsule 2's gain into X
    // and the Z output gain as given.
    const auto check = [&](const Channels& out, double bIntoX, double zGain) {
        for (size_t i = 0; i < in[0].size(); ++i) {
            const double a = in[0][i], b = in[1][i], c = in[2][i], d = in[3][i];
            const double component[4] = {(a + b + c + d) / std::sqrt(2.0), a + bIntoX * b - c - d,
                                         a - b + c - d, zGain * (a - b - c + d)};
            for (int k = 0; k < 4; ++k)
                ASSERT_NEAR(out[k][i], component[k], 3e-6) << k << " " << i;
        }
    };
    check(plugin->process(in, 512), 1.0, 1.0);
    plugin->setParameter(17 + 7 + 1, (-6.0f + 12.0f) / 24.0f); // Cap 2 Out 2 Gain, -6 dB
    plugin->setParameter(45, (-6.0f + 15.0f) / 30.0f);         // Output 4 Gain, -6 dB
    plugin->restart();
    const double half = std::pow(10.0, -6.0 / 20.0);
    check(plugin->process(in, 512), half, half);

    // With every stage off the outputs are the inputs.
    plugin->setParameter(10, 0.0f);
    plugin->restart();
    EXPECT_TRUE(plugin->process(in, 700) == in);
}

// The capsule low-frequency filter in double precision from its analogue prototypes by the
// bilinear transform: the shelf (s + w_boost)/(s + w_cut), then two high-passes
// s^2/(s^2 + d s + 1) at the cut frequency, the second with d = 1.618.
std::vector<double> lowFrequencyImpulse(double cut, double boost, double damping, double rate,
                                        size_t frames) {
    struct Biquad {
        double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        double run(double x) {
            const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1, x1 = x, y2 = y1, y1 = y;
            return y;
        }
    };
    const double kCut = std::tan(M_PI * cut / rate), kBoost = std::tan(M_PI * boost / rate);
    Biquad shelf{(kBoost + 1) / (kCut + 1), (kBoost - 1) / (kCut + 1), 0, (kCut - 1) / (kCut + 1),
                 0};
    const auto highPass = [kCut](double d) {
        const double k2 = kCut * kCut, n = k2 + d * kCut + 1.0;
        return Biquad{1 / n, -2 / n, 1 / n, 2 * (k2 - 1) / n, (k2 - d * kCut + 1) / n};
    };
    Biquad first = highPass(damping), second = highPass(1.618);
    std::vector<double> out(frames);
    for (size_t i = 0; i < frames; ++i)
        out[i] = second.run(first.run(shelf.run(i == 0 ? 1.0 : 0.0)));
    return out;
}

TEST_F(PluginTest, FactoryProgramsRunTheirLowFrequencyFilters) {
    const struct {
        int program;
        double cut, boost, damping, wDb;
    } programs[] = {{0, 25.0, 150.0, 1.109, -8.0}, {1, 30.0, 50.0, 1.109 + 0.2 * 0.509, -4.77}};
    for (const auto& p : programs) {
        auto plugin = load();
        plugin->start(48000.0f);
        plugin->setProgram(p.program);
        plugin->setParameter(6, 0.0f); // no correction, to see the LF stage alone
        // Capsule 1 reaches X, Y and Z with gain 1 and W with 1/sqrt2 and the W output gain.
        const size_t frames = 24000;
        Channels in = makeChannels(frames);
        in[0][0] = 1.0f;
        const Channels out = plugin->process(in, 512);
        const std::vector<double> reference =
            lowFrequencyImpulse(p.cut, p.boost, p.damping, 48000.0, frames);
        const double wScale = std::pow(10.0, p.wDb / 20.0) / std::sqrt(2.0);
        for (size_t i = 0; i < frames; ++i) {
            ASSERT_NEAR(out[1][i], reference[i], 2e-5) << p.program << " " << i;
            ASSERT_EQ(out[2][i], out[1][i]) << i;
            ASSERT_EQ(out[3][i], out[1][i]) << i;
            ASSERT_NEAR(out[0][i], out[1][i] * wScale, 1e-6 * std::fabs(out[1][i]) + 1e-12) << i;
        }
    }
}

// Magnitude of a correction filter in dB from its measured impulse response: with the
// overlap-save frame it is exactly the 2048-point DFT of what comes out.
double correctionDb(const std::vector<float>& out, int bin, double inputLevel) {
    std::complex<double> sum = 0.0;
    for (size_t i = 0; i < out.size(); ++i)
        sum += static_cast<double>(out[i]) * std::polar(1.0, -2.0 * M_PI * bin * (i % 2048) / 2048);
    return 20.0 * std::log10(std::abs(sum) / inputLevel);
}

TEST_F(PluginTest, CorrectionFiltersDelayBy1024AndShapeTheResponse) {
    // Program 0 as it stands: an impulse on all four capsules gives W only, at the delay.
    auto plugin = load();
    plugin->start(48000.0f);
    const size_t frames = 8192;
    Channels all = makeChannels(frames), one = makeChannels(frames);
    for (int c = 0; c < 4; ++c)
        all[c][0] = 1.0f;
    one[0][0] = 1.0f;
    Channels out = plugin->process(all, 512);
    EXPECT_EQ(peakIndex(out[0]), 1024u);
    for (int c = 1; c < 4; ++c)
        EXPECT_TRUE(out[c] == std::vector<float>(frames, 0.0f)) << c;

    // The velocity correction for 2.3 cm, LF stage off: X carries the filter alone.
    auto x23 = load();
    x23->start(48000.0f);
    x23->setParameter(0, 0.0f);
    out = x23->process(one, 512);
    EXPECT_NEAR(correctionDb(out[1], 42, 1.0), -4.15, 0.05);
    EXPECT_NEAR(correctionDb(out[1], 853, 1.0), -6.84, 0.05);

    // The omnidirectional correction for 1.47 cm (program 1, LF off, W at 0 dB): W = 1/sqrt2.
    // The set runs at 44.1 kHz first; the host's new rate redesigns it.
    auto w147 = load();
    w147->setProgram(1);
    w147->setParameter(0, 0.0f);
    w147->setParameter(42, 0.5f);
    ASSERT_GT(peak(w147->process(noise(5000, 12), 512)), 0.01);
    w147->start(48000.0f);
    out = w147->process(one, 512);
    EXPECT_EQ(peakIndex(out[0]), 1024u);
    EXPECT_NEAR(correctionDb(out[0], 42, 1.0 / std::sqrt(2.0)), -6.76, 0.05);
    EXPECT_NEAR(correctionDb(out[0], 298, 1.0 / std::sqrt(2.0)), -1.00, 0.05);
    // What leaves before the delay is the wrapped tail of the circular response: small.
    for (size_t i = 0; i < 1024; ++i)
        ASSERT_LT(std::fabs(out[0][i]), 0.05 * std::fabs(out[0][1024])) << i;
}

TEST_F(PluginTest, OutputDependsOnNoBlockSizeSharedBufferOrSwitching) {
    const Channels in = noise(40000, 3);
    // Empty blocks among them: in place, anything they wrote would land on input yet to come.
    const std::vector<int> mixed = {1, 7, 0, 64, 300, 512, 1023, 4096, 0, 13, 2048, 1024, 999};
    // Program 0 as it stands, and everything on: LF, EQ and the 1.47 cm correction.
    const auto configure = [](Plugin& plugin, bool busy) {
        plugin.start();
        if (!busy) return;
        plugin.setProgram(1);
        plugin.setParameter(7, 1.0f);
        for (int c = 0; c < 4; ++c) {
            plugin.setParameter(14 + 7 * c, 0.6f + 0.05f * c);
            plugin.setParameter(15 + 7 * c, 0.2f);
            plugin.setParameter(16 + 7 * c, 0.7f);
        }
    };
    for (bool busy : {false, true}) {
        auto reference = load();
        configure(*reference, busy);
        const Channels expected = reference->process(in, 4096);
        ASSERT_GT(peak(expected), 0.1);
        auto blocks = load();
        configure(*blocks, busy);
        EXPECT_TRUE(blocks->process(in, mixed) == expected) << busy;
        auto inPlace = load();
        configure(*inPlace, busy);
        EXPECT_TRUE(inPlace->process(in, mixed, true) == expected) << busy;
        // Output k in the buffer of input 3 - k, all in one block.
        auto crosswise = load();
        configure(*crosswise, busy);
        Channels buffers = in;
        float* inputs[4] = {buffers[0].data(), buffers[1].data(), buffers[2].data(),
                            buffers[3].data()};
        float* outputs[4] = {inputs[3], inputs[2], inputs[1], inputs[0]};
        AEffect* r = crosswise->record();
        r->processReplacing(r, inputs, outputs, static_cast<VstInt32>(in[0].size()));
        EXPECT_TRUE((Channels{buffers[3], buffers[2], buffers[1], buffers[0]} == expected)) << busy;
        // Negative counts and missing buffer tables: nothing is read or written.
        Channels block = makeChannels(16, 7.0f);
        float* pointers[4] = {block[0].data(), block[1].data(), block[2].data(), block[3].data()};
        r->processReplacing(r, pointers, pointers, -5);
        r->processReplacing(r, nullptr, pointers, 16);
        r->processReplacing(r, pointers, nullptr, 16);
        EXPECT_EQ(block, makeChannels(16, 7.0f));
        // Switching off and on between two blocks changes no setting and no filter memory.
        auto switched = load();
        configure(*switched, busy);
        Channels out = makeChannels(in[0].size());
        switched->processBlock(in, out, 0, 20000);
        switched->restart();
        switched->processBlock(in, out, 20000, 20000);
        EXPECT_TRUE(out == expected) << busy;
    }
}

// ---- what a DAW relies on beyond the request table ---------------------------------------------

TEST_F(PluginTest, AnnouncedDelayFollowsTheSelectedSet) {
    auto plugin = load();
    // Construction ends with program 0 ("2.3cm" selected) and tells nobody: there is no record yet.
    EXPECT_EQ(plugin->record()->initialDelay, 1024);
    EXPECT_EQ(host.count(audioMasterIOChanged), 0);
    plugin->start();
    const int expected[8] = {1024, 1024, 0, 0, 0, 0, 0, 0};
    for (int program : {0, 1, 2, 3, 4, 5, 6, 7, 1, 0}) {
        const int before = host.count(audioMasterIOChanged);
        const int previousDelay = plugin->record()->initialDelay;
        plugin->setProgram(program);
        EXPECT_EQ(plugin->record()->initialDelay, expected[program]) << program;
        EXPECT_EQ(host.count(audioMasterIOChanged) - before,
                  previousDelay != expected[program] ? 1 : 0)
            << program;
    }
    // The filter number back and forth: "None", "1.47cm", "2.3cm", "None"; a set that keeps the
    // delay ("1.47cm" to "2.3cm") and a number naming no set (7) say nothing and select nothing.
    const struct {
        float value;
        int delay;
        int requests;
        const char* set;
    } steps[] = {{0.0f, 0, 1, "None"},
                 {1.0f / 7.0f, 1024, 1, "1.47cm"},
                 {2.0f / 7.0f, 1024, 0, "2.3cm"},
                 {1.0f, 1024, 0, "2.3cm"},
                 {0.0f, 0, 1, "None"},
                 {0.0f, 0, 0, "None"},
                 {2.0f / 7.0f, 1024, 1, "2.3cm"}};
    for (const auto& step : steps) {
        const int before = host.count(audioMasterIOChanged);
        plugin->setParameter(kPostMatrixFilter, step.value);
        EXPECT_EQ(plugin->record()->initialDelay, step.delay) << step.value;
        EXPECT_EQ(host.count(audioMasterIOChanged) - before, step.requests) << step.value;
        EXPECT_EQ(plugin->getParameter(kPostMatrixFilter), step.value);
        EXPECT_EQ(plugin->parameterDisplay(kPostMatrixFilter), step.set) << step.value;
    }
}

// Pin names for the hosts' routing views: the capsules in, the outputs named after the order
// chosen; a change of order is announced, so that hosts ask again.
TEST_F(PluginTest, PinNamesFollowTheOutputOrder) {
    constexpr int kOutputOrder = 46;
    auto plugin = load();
    plugin->start();
    // The pins' labels as "label/short label", comma-separated; every pin active, with no
    // arrangement.
    const auto pins = [&](VstInt32 opcode) {
        std::string all;
        for (int k = 0; k < 4; ++k) {
            VstPinProperties r = {};
            EXPECT_EQ(plugin->dispatch(opcode, k, 0, &r), 1) << opcode << " " << k;
            EXPECT_TRUE(r.flags == kVstPinIsActive && r.arrangementType == 0);
            all += std::string(k == 0 ? "" : ",") + r.label + "/" + r.shortLabel;
        }
        return all;
    };
    const std::string capsules = "Capsule 1/Cap 1,Capsule 2/Cap 2,Capsule 3/Cap 3,Capsule 4/Cap 4";
    const std::string fuma = "W/W,X/X,Y/Y,Z/Z",
                      acn = "ACN 0/ACN 0,ACN 1/ACN 1,ACN 2/ACN 2,ACN 3/ACN 3";
    EXPECT_EQ(pins(effGetInputProperties), capsules);
    EXPECT_EQ(pins(effGetOutputProperties), fuma);
    const struct {
        float order;
        int announced;
        std::string names;
    } steps[] = {{1.0f, 1, acn}, {0.8f, 0, acn}, {0.5f, 1, fuma}, {0.0f, 0, fuma}};
    for (const auto& step : steps) {
        const int before = host.count(audioMasterIOChanged);
        plugin->setParameter(kOutputOrder, step.order);
        EXPECT_EQ(host.count(audioMasterIOChanged) - before, step.announced) << step.order;
        EXPECT_EQ(pins(effGetOutputProperties), step.names);
        EXPECT_EQ(pins(effGetInputProperties), capsules);
    }
}

} // namespace
