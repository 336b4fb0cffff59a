// What a DAW relies on beyond the request table: the announced delay and its notification, the
// program names by index, and calibrations found under the user's HOME.

#include "PluginFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace vsthost;

namespace {
constexpr int kPostMatrixFilter = 6;

size_t peakIndex(const std::vector<float>& samples) {
    size_t peak = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        if (std::fabs(samples[i]) > std::fabs(samples[peak])) peak = i;
    return peak;
}

std::string indexedName(Plugin& plugin, int index) {
    char buffer[64];
    std::memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, index, 0, buffer), 1) << index;
    return buffer;
}

std::string tolvinFile(float b0) {
    // Header word, nA = 1, nB = 1, b0, a1 = 0.
    std::string bytes = {0, 0, 0, 0, 1, 0, 1, 0};
    for (float value : {b0, 0.0f}) {
        uint32_t word;
        std::memcpy(&word, &value, 4);
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((word >> (8 * i)) & 0xff));
    }
    return bytes;
}
} // namespace

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
    // delay ("1.47cm" to "2.3cm") and a number naming no set say nothing.
    const struct {
        float value;
        int delay;
        int requests;
    } steps[] = {{0.0f, 0, 1}, {1.0f / 7.0f, 1024, 1}, {2.0f / 7.0f, 1024, 0}, {1.0f, 1024, 0},
                 {0.0f, 0, 1}, {0.0f, 0, 0},           {2.0f / 7.0f, 1024, 1}};
    for (const auto& step : steps) {
        const int before = host.count(audioMasterIOChanged);
        plugin->setParameter(kPostMatrixFilter, step.value);
        EXPECT_EQ(plugin->record()->initialDelay, step.delay) << step.value;
        EXPECT_EQ(host.count(audioMasterIOChanged) - before, step.requests) << step.value;
    }
}

TEST_F(PluginTest, MeasuredDelayOfEveryBuiltInSetIsTheAnnouncedOne) {
    for (int set = 0; set < 3; ++set) {
        auto plugin = load();
        plugin->start();
        plugin->setProgram(2);
        plugin->setParameter(kPostMatrixFilter, static_cast<float>(set) / 7.0f);
        Channels in = makeChannels(8192);
        in[0][300] = 1.0f; // capsule 1 only: every output of the matrix carries it
        const Channels out = plugin->process(in, 256);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(peakIndex(out[static_cast<size_t>(k)]),
                      300u + static_cast<size_t>(plugin->record()->initialDelay))
                << "set " << set << " output " << k;
    }
}

TEST_F(PluginTest, ProgramNamesByIndexWithoutSelecting) {
    auto plugin = load();
    plugin->start();
    plugin->setProgram(3);
    char init[] = "Init";
    plugin->dispatch(effSetProgramName, 0, 0, init);
    plugin->setProgram(6);
    plugin->setProgramName("Hall, row 12");
    plugin->setProgram(5);
    std::vector<std::string> byIndex;
    for (int p = 0; p < 8; ++p)
        byIndex.push_back(indexedName(*plugin, p));
    EXPECT_EQ(plugin->dispatch(effGetProgram), 5);
    EXPECT_EQ(byIndex[0], "Ambrel - uncalibrated");
    EXPECT_EQ(byIndex[3], "Init 4");
    EXPECT_EQ(byIndex[6], "Hall, row 12");
    for (int p = 0; p < 8; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->programName(), byIndex[static_cast<size_t>(p)]) << p;
    }
    // Out of range: answer 0 and the buffer untouched.
    for (VstInt32 index : {-1, 8, 1 << 30}) {
        char buffer[32];
        std::memset(buffer, 'z', sizeof(buffer));
        EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, index, 0, buffer), 0);
        for (char c : buffer)
            EXPECT_EQ(c, 'z');
    }
    // A name of 23 characters fills the 24-byte buffer and no more.
    plugin->setProgram(2);
    plugin->setProgramName(std::string(40, 'n'));
    char buffer[40];
    std::memset(buffer, 'z', sizeof(buffer));
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 2, 0, buffer), 1);
    EXPECT_EQ(std::string(buffer), std::string(23, 'n'));
    for (size_t i = 24; i < sizeof(buffer); ++i)
        EXPECT_EQ(buffer[i], 'z');
}

TEST_F(PluginTest, CalibrationsUnderTheUsersHome) {
    const std::string directory = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
    ASSERT_EQ(std::system(("mkdir -p '" + directory + "/Mic42'").c_str()), 0);
    home.write("Library/Audio/Plug-Ins/VST/calibrations/Mic42.txt",
               "# capsules measured in the anechoic room\n"
               "sens 1 -1 0.5 0\nvsens 0 0 0 0\nEQ 0 0 0 0\nEQfreq 1000 1000 1000 1000\n"
               "EQbw 500 500 500 500\nW -3\nX 0\nY 0\nZ 0\nLF 20 20\nW W48\nVel VEL48\n");
    home.write("Library/Audio/Plug-Ins/VST/calibrations/Mic42/W48", tolvinFile(0.5f));
    home.write("Library/Audio/Plug-Ins/VST/calibrations/Mic42/VEL48", tolvinFile(2.0f));
    auto plugin = load();
    plugin->start();
    EXPECT_EQ(indexedName(*plugin, 2), "Mic42");
    EXPECT_EQ(indexedName(*plugin, 3), "User 3");
    plugin->setProgram(2);
    EXPECT_EQ(plugin->programName(), "Mic42");
    EXPECT_EQ(plugin->parameterDisplay(kPostMatrixFilter), "Mic42");
    EXPECT_EQ(plugin->record()->initialDelay, 0);
    EXPECT_EQ(plugin->parameterDisplay(17), "  1.0");  // Cap 1 Out 1 Gain
    EXPECT_EQ(plugin->parameterDisplay(24), " -1.0");  // Cap 2 Out 1 Gain
    EXPECT_EQ(plugin->parameterDisplay(42), "  0.0");  // W raised by 3 dB
    EXPECT_EQ(plugin->parameterDisplay(14), "1000.0"); // Cap 1 EQ Freq
    EXPECT_EQ(plugin->parameterDisplay(0), "Yes");     // LF Enabled
    EXPECT_EQ(plugin->parameterDisplay(7), "Yes");     // EQs Enabled

    // End to end: the calibration's W filter halves W, its velocity filter doubles X, Y, Z,
    // against the same program with no post-matrix set.
    auto plain = load();
    plain->start();
    plain->setProgram(2);
    plain->setParameter(kPostMatrixFilter, 0.0f);
    Channels in = makeChannels(4096);
    for (size_t i = 0; i < 4096; ++i)
        for (size_t k = 0; k < 4; ++k)
            in[k][i] = static_cast<float>(std::sin(0.003 * double(i) * double(k + 1)));
    const Channels calibrated = plugin->process(in, 512);
    const Channels reference = plain->process(in, 512);
    for (size_t i = 0; i < 4096; ++i) {
        ASSERT_EQ(calibrated[0][i], 0.5f * reference[0][i]) << i;
        for (size_t k = 1; k < 4; ++k)
            ASSERT_EQ(calibrated[k][i], 2.0f * reference[k][i]) << i;
    }
}

// Pin names for the hosts' routing views: the capsules in, the outputs named after the order
// chosen; a change of order is announced, so that hosts ask again.
TEST_F(PluginTest, PinNamesFollowTheOutputOrder) {
    constexpr int kOutputOrder = 46;
    auto plugin = load();
    plugin->start();
    const auto pin = [&](VstInt32 opcode, VstInt32 index, VstPinProperties& record) {
        std::memset(&record, 0x5A, sizeof(record));
        return plugin->dispatch(opcode, index, 0, &record);
    };
    const auto expectPins = [&](VstInt32 opcode, const char* const(&labels)[4],
                                const char* const(&shortLabels)[4]) {
        for (int k = 0; k < 4; ++k) {
            VstPinProperties record;
            ASSERT_EQ(pin(opcode, k, record), 1) << opcode << " " << k;
            EXPECT_STREQ(record.label, labels[k]);
            EXPECT_STREQ(record.shortLabel, shortLabels[k]);
            EXPECT_EQ(record.flags, kVstPinIsActive);
            EXPECT_EQ(record.arrangementType, 0);
            // Every byte after the texts is cleared, the reserved ones included.
            for (size_t i = std::strlen(record.label); i < sizeof(record.label); ++i)
                ASSERT_EQ(record.label[i], 0) << i;
            for (char c : record.future)
                ASSERT_EQ(c, 0);
        }
    };
    const char* const capsules[4] = {"Capsule 1", "Capsule 2", "Capsule 3", "Capsule 4"};
    const char* const capsuleShort[4] = {"Cap 1", "Cap 2", "Cap 3", "Cap 4"};
    const char* const fuma[4] = {"W", "X", "Y", "Z"};
    const char* const acn[4] = {"ACN 0", "ACN 1", "ACN 2", "ACN 3"};
    expectPins(effGetInputProperties, capsules, capsuleShort);
    expectPins(effGetOutputProperties, fuma, fuma);

    const struct {
        float order;
        int announced;
        const char* const (&names)[4];
    } steps[] = {{1.0f, 1, acn}, {0.8f, 0, acn}, {0.5f, 1, fuma}, {0.0f, 0, fuma}};
    for (const auto& step : steps) {
        const int before = host.count(audioMasterIOChanged);
        plugin->setParameter(kOutputOrder, step.order);
        EXPECT_EQ(host.count(audioMasterIOChanged) - before, step.announced) << step.order;
        expectPins(effGetOutputProperties, step.names, step.names);
        expectPins(effGetInputProperties, capsules, capsuleShort);
    }

    // Pins that do not exist, or no record: answer 0 and write nothing.
    for (VstInt32 opcode : {effGetInputProperties, effGetOutputProperties}) {
        for (VstInt32 index : {-1, 4, 1 << 30}) {
            VstPinProperties record;
            EXPECT_EQ(pin(opcode, index, record), 0) << opcode << " " << index;
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
            for (size_t i = 0; i < sizeof(record); ++i)
                ASSERT_EQ(bytes[i], 0x5A) << i;
        }
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, nullptr), 0);
    }
}
