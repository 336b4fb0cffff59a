#include "TestProcessor.h"
#include "support/SampleCalibrations.h"

#include <gtest/gtest.h>

#include <string>

TEST(Programs, ConstructionWithoutCalibrations) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    for (int i = 0; i < kNumPrograms; ++i) {
        char name[64] = {};
        EXPECT_TRUE(processor.getProgramNameIndexed(0, i, name));
        EXPECT_EQ(name, i == 0   ? "Ambrel - uncalibrated"
                        : i == 1 ? "1.47cm"
                                 : "User " + std::to_string(i));
    }
    EXPECT_EQ(processor.getProgram(), 0);
    EXPECT_EQ(processor.getNumPrograms(), 8);
    EXPECT_TRUE(processor.lfEnabled);
    EXPECT_EQ(processor.lfCutFreq, 25.0f);
    EXPECT_EQ(processor.lfBoostFreq, 150.0f);
    EXPECT_EQ(processor.outGains[0], -8.0f);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 2);
    EXPECT_EQ(processor.GetCapCompFilter(), 0);
    EXPECT_FALSE(processor.eqsEnabled);
    EXPECT_TRUE(processor.abMatrixEnabled);
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(processor.capGains[c][k], 0.0f);
    // The missing directory is reported once, as a notice of this instance.
    char notice[CNoticeQueue::kMaxNoticeLength];
    int count = 0;
    ASSERT_TRUE(processor.getNoticeQueue()->peek(notice, sizeof(notice), &count));
    EXPECT_STREQ(notice, ("Calibrations directory not found; looked in " +
                          scratch.file("no-such-directory") +
                          ". Add calibrations with: xetetra calibrations install FILE")
                             .c_str());
    EXPECT_EQ(count, 1);
}

TEST(Programs, SelectingFactoryAndUserPrograms) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setProgram(1);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 1);
    EXPECT_EQ(processor.lfCutFreq, 30.0f);
    EXPECT_EQ(processor.lfBoostFreq, 50.0f);
    EXPECT_EQ(processor.outGains[0], -4.7700005f);
    EXPECT_EQ(programName(processor), "1.47cm");

    processor.setProgram(4);
    EXPECT_FALSE(processor.lfEnabled);
    EXPECT_FLOAT_EQ(processor.lfCutFreq, 250.0f);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 0);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(processor.eqFreq[c], 20.0f);
        EXPECT_EQ(processor.eqWidth[c], 0.0f);
        EXPECT_EQ(processor.eqGain[c], 0.0f);
        EXPECT_EQ(processor.outGains[c], 0.0f);
    }
    // Out-of-range program numbers select nothing.
    processor.setProgram(8);
    processor.setProgram(-1);
    EXPECT_EQ(processor.getProgram(), 4);
}

TEST(Programs, EditsStayInTheirProgramAndTwoFlagsStayPut) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setParameter(kCalibration, 1.0f);
    processor.setParameter(kDisplayVU, 1.0f);
    processor.setProgram(2);
    processor.setParameter(42 + 1, 0.75f);
    processor.setParameter(kOutputOrder, 1.0f);
    processor.setParameter(kOrientation, 1.0f);
    processor.setParameter(kInvertX + 2, 1.0f);
    processor.setProgram(3);
    EXPECT_EQ(processor.outGains[1], 0.0f);
    EXPECT_TRUE(processor.outputFormat.isDefault());
    // "Calibration" and "Display VU" are not taken from a program.
    EXPECT_EQ(processor.getParameter(kCalibration), 1.0f);
    EXPECT_EQ(processor.getParameter(kDisplayVU), 1.0f);
    EXPECT_TRUE(processor.calibration);
    processor.setProgram(2);
    EXPECT_EQ(processor.outGains[1], 7.5f);
    EXPECT_EQ(processor.getParameter(43), 0.75f);
    EXPECT_TRUE(processor.outputFormat.ambix);
    EXPECT_EQ(processor.outputFormat.orientation, COutputFormat::kEndfire);
    EXPECT_TRUE(processor.outputFormat.invert[2]);
    EXPECT_FALSE(processor.outputFormat.invert[0] || processor.outputFormat.invert[1]);
}

// The output parameters came after the programs: every program, the calibrations' too, keeps
// them at FuMa, upright and nothing flipped, so its output reaches the host as it always did.
TEST(Programs, EveryProgramKeepsTheOutputItHadBeforeTheOutputParameters) {
    TempDirectory calibrations;
    ASSERT_TRUE(samplecal::writeSixCalibrations(calibrations.path()));
    TestXeTetra processor(nullptr, CCalibrationPaths::only(calibrations.path()));
    processor.setSampleRate(48000.0f);
    for (int p = 0; p < kNumPrograms; ++p) {
        processor.setProgram(p);
        for (int index = kOutputOrder; index < kNumParams; ++index)
            EXPECT_EQ(processor.getParameter(index), 0.0f) << p << " " << index;
        EXPECT_EQ(display(processor, kOutputOrder), "FuMa");
        EXPECT_EQ(display(processor, kOrientation), "Upright");
        EXPECT_TRUE(processor.handedOver.output.isIdentity()) << p;
    }
    EXPECT_GT(processor.GetNumPostMatrixSets(), 3);
}

TEST(Programs, LinkFlagsActOnTheProgramBeingLoaded) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    AXeTetraProgram& program = processor.programs[5];
    program.values[kSlotEQsLinked] = 1.0f;
    program.values[kSlotGainsLinked] = 1.0f;
    for (int c = 0; c < 4; ++c) {
        program.values[kSlotEQFreqBase + c] = 0.1f * static_cast<float>(c + 1);
        program.values[kSlotEQWidthBase + c] = 0.05f * static_cast<float>(c + 1);
        for (int k = 0; k < 4; ++k)
            program.values[kSlotCapGainBase + 4 * c + k] = 0.1f * static_cast<float>(k + 1);
    }
    processor.setProgram(5);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(processor.eqFreq[c], oneMAXFREQConvert(0.1f));
        EXPECT_EQ(processor.eqWidth[c], parm2width(0.05f));
        EXPECT_EQ(program.values[kSlotEQFreqBase + c], 0.1f);
        // Each capsule's gain into output 1 is spread to its four outputs when it is passed,
        // replacing the program's stored gains of outputs 2 to 4 before they are read.
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(processor.capGains[c][k], parm2PlusMinus12(0.1f)) << c << k;
            EXPECT_EQ(program.values[kSlotCapGainBase + 4 * c + k], 0.1f);
        }
    }
}

TEST(Programs, Names) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setProgram(4);
    char init[] = "Init";
    processor.setProgramName(init);
    EXPECT_EQ(programName(processor), "Init 5");
    char longName[] = "A very long program name of more than 23 characters";
    processor.setProgramName(longName);
    EXPECT_EQ(programName(processor), std::string(longName, 23));
}

TEST(FilterSets, SelectionClearsOnlyWhenTheSetChanges) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setSampleRate(48000.0f);
    // Fill set 2's memory with an impulse; reselecting set 2 keeps it, a round trip clears it.
    Block block(2048);
    block.data[0][0] = 1.0f;
    processor.setParameter(kABMatrixEnabled, 0.0f);
    processor.setParameter(kLFEnabled, 0.0f);
    processor.processReplacing(block.pointers(), block.pointers(), 512);
    processor.SetCoincidenceFilter(2);
    Block silence(2048);
    processor.processReplacing(silence.pointers(), silence.pointers(), 2048);
    float energy = 0.0f;
    for (float s : silence.data[0])
        energy += s * s;
    EXPECT_GT(energy, 0.0f);

    processor.processReplacing(block.pointers(), block.pointers(), 512);
    processor.SetCoincidenceFilter(1);
    processor.SetCoincidenceFilter(2);
    Block after(2048);
    processor.processReplacing(after.pointers(), after.pointers(), 2048);
    for (float s : after.data[0])
        EXPECT_EQ(s, 0.0f);
}

TEST(FilterSets, SampleRateReachesTheCapsuleFiltersAndBadRatesAreRefused) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setSampleRate(96000.0f);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(processor.lfFilters[c]->getSamplingRate(), 96000.0f);
        EXPECT_EQ(processor.eqFilters[c]->getSamplingRate(), 96000.0f);
    }
    // Rates a filter cannot be designed for are refused.
    processor.setSampleRate(0.0f);
    processor.setSampleRate(-44100.0f);
    processor.setSampleRate(std::nanf(""));
    EXPECT_EQ(processor.getSampleRate(), 96000.0f);
}
