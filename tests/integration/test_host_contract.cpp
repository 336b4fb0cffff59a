// What a DAW relies on beyond the request table: the announced delay and its notification, pin
// names, and a calibration found under the user's HOME becoming a program and a filter set.

#include "PluginFixture.h"
#include "support/SampleCalibrations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace vsthost;

namespace {
constexpr int kPostMatrixFilter = 6;

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

TEST_F(PluginTest, CalibrationsUnderTheUsersHome) {
    const std::string directory = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
    ASSERT_EQ(std::system(("mkdir -p '" + directory + "/Mic42'").c_str()), 0);
    home.write("Library/Audio/Plug-Ins/VST/calibrations/Mic42.txt",
               "# capsules measured in the anechoic room\n"
               "sens 1 -1 0.5 0\nvsens 0 0 0 0\nEQ 0 0 0 0\nEQfreq 1000 1000 1000 1000\n"
               "EQbw 500 500 500 500\nW -3\nX 0\nY 0\nZ 0\nLF 20 20\nW W48\nVel VEL48\n");
    ASSERT_TRUE(samplecal::writeTolvinFile(directory + "/Mic42/W48", {0.5f}, {0.0f}));
    ASSERT_TRUE(samplecal::writeTolvinFile(directory + "/Mic42/VEL48", {2.0f}, {0.0f}));
    auto plugin = load();
    plugin->start();
    EXPECT_EQ(plugin->text(effGetProgramNameIndexed, 2), "Mic42");
    EXPECT_EQ(plugin->text(effGetProgramNameIndexed, 3), "User 3");
    plugin->setProgram(2);
    EXPECT_EQ(plugin->programName(), "Mic42");
    EXPECT_EQ(plugin->parameterDisplay(kPostMatrixFilter), "Mic42");
    EXPECT_EQ(plugin->record()->initialDelay, 0);
    EXPECT_EQ(plugin->parameterDisplay(24), " -1.0"); // Cap 2 Out 1 Gain

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

    // Pins that do not exist: answer 0 (that nothing is written is the record fuzzer's).
    for (VstInt32 opcode : {effGetInputProperties, effGetOutputProperties})
        for (VstInt32 index : {-1, 4, 1 << 30}) {
            VstPinProperties r = {};
            EXPECT_EQ(plugin->dispatch(opcode, index, 0, &r), 0) << opcode << " " << index;
        }
}
