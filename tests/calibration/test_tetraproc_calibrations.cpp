#include "CalibrationDirectory.h"
#include "calibration/TetraFileWriter.h"
#include "core/TestProcessor.h"
#include "dsp/MitRegFilter.h"
#include "dsp/ParaEQ2Band.h"
#include "dsp/ParaEQ3Band.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

using namespace tetrafile;

namespace {
struct Calibrations : CalibrationDirectory {
    using CalibrationDirectory::add;
    void add(const std::string& name, const TetraCalibration& calibration) const {
        add(name, calibration.bytes());
    }
};

TetraCalibration mic1234(int version) {
    TetraCalibration calibration;
    calibration.version = version;
    calibration.enable = 11;
    calibration.lfFrequency = 100.0f;
    calibration.lfBandwidth = 1.0f;
    calibration.lfGain = -3.0f;
    const float rows[4][4] = {{0.5f, 0.45f, 0.55f, 0.5f},
                              {0.9f, 0.8f, -0.85f, -0.5f},
                              {0.866f, -0.866f, 0.866f, -0.866f},
                              {0.7f, -0.75f, -0.8f, 0.85f}};
    std::memcpy(calibration.matrix, rows, sizeof(rows));
    for (int c = 0; c < 4; ++c) {
        calibration.pm[c].band[0][0] = 500.0f * static_cast<float>(c + 1);
        calibration.pm[c].band[0][2] = 3.0f;
        calibration.pm[c].band[1][0] = 9000.0f;
        calibration.pm[c].band[1][1] = 0.5f;
        calibration.pm[c].band[1][2] = -2.0f;
        calibration.pm[c].band[2][2] = 1.5f;
        calibration.pm[c].gain = -1.0f;
    }
    return calibration;
}

// The magnitude of a filter at a frequency, from its response to a long sine.
double sineGain(CFilter& filter, double frequency, double rate) {
    std::vector<float> samples(16384);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(std::sin(2.0 * M_PI * frequency * double(i) / rate));
    filter.doFilter(samples.data(), static_cast<long>(samples.size()));
    double peak = 0.0;
    for (size_t i = samples.size() / 2; i < samples.size(); ++i)
        peak = std::max(peak, std::fabs(double(samples[i])));
    return peak;
}
} // namespace

TEST(TetraProcCalibrations, ImportsEveryMessageOfAFile) {
    Calibrations calibrations;
    const TetraCalibration calibration = mic1234(2);
    calibrations.add("Mic1234.tetra", calibration);
    auto processor = calibrations.load();
    ASSERT_EQ(nameOf(*processor, 2), "Mic1234");
    const float* v = processor->programs[2].values;
    EXPECT_EQ(v[kSlotLocked], 1.0f);
    EXPECT_EQ(v[kSlotCalibration], 1.0f);
    EXPECT_EQ(v[kSlotEQsEnabled], 1.0f);
    EXPECT_EQ(v[kSlotLFEnabled], 1.0f);
    EXPECT_EQ(v[kSlotEQsLinked], 0.0f);
    EXPECT_EQ(v[kSlotGainsLinked], 0.0f);
    EXPECT_EQ(v[kSlotViewMode], 0.0f);
    EXPECT_EQ(v[kSlotLFCutFreq], 0.0f);
    EXPECT_EQ(v[kSlotLFBoostFreq], 0.0f);
    EXPECT_EQ(v[kSlotPreMatrixFilter], 0.0f);
    EXPECT_EQ(v[kSlotPostMatrixFilter], filter2parm(3));
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(v[kSlotEQFreqBase + c], std::log10(5.0) / 3.0, 1e-6);
        EXPECT_NEAR(v[kSlotEQWidthBase + c], 0.2777f, 1e-4f);
        EXPECT_FLOAT_EQ(v[kSlotEQGainBase + c], 0.4f);
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(v[kSlotCapGainBase + 4 * c + r],
                      plusMinus122parm(level2db(std::fabs(calibration.matrix[r][c]))))
                << r << c;
    }
    // Signs are the matrix's business: -0.5 and 0.5 give the same gain.
    EXPECT_NEAR(plusMinus122parm(level2db(0.5f)), 0.2491f, 1e-4f);
    EXPECT_EQ(v[kSlotCapGainBase + 4 * 3 + 1], plusMinus122parm(level2db(0.5f)));

    // The set: four two-band equalisers named after the calibration.
    EXPECT_EQ(processor->numPostMatrixSets, 4);
    for (int k = 0; k < 4; ++k) {
        auto* equaliser = dynamic_cast<CParaEQ2Band*>(processor->postMatrixFilters[3][k]);
        ASSERT_NE(equaliser, nullptr) << k;
        EXPECT_STREQ(equaliser->getName(), "Mic1234");
    }
    // Channel 1's equaliser has its first band at 1000 Hz, +3 dB, and -1 dB overall.
    CFilter* x = processor->postMatrixFilters[3][1];
    x->setSamplingRate(48000.0f);
    EXPECT_NEAR(20.0 * std::log10(sineGain(*x, 1000.0, 48000.0)), 3.0 - 1.0, 0.1);

    processor->setSampleRate(48000.0f);
    processor->setProgram(2);
    EXPECT_EQ(processor->GetCoincidenceFilter(), 3);
    EXPECT_FLOAT_EQ(processor->eqFreq[0], 100.0f);
    EXPECT_NEAR(processor->capGains[1][1], level2db(0.8f), 1e-5f);
    EXPECT_TRUE(processor->locked);
}

TEST(TetraProcCalibrations, VersionsSelectTheEqualiserLayout) {
    Calibrations calibrations;
    calibrations.add("v1.tetra", mic1234(1));
    auto first = calibrations.load();
    EXPECT_NE(dynamic_cast<CParaEQ2Band*>(first->postMatrixFilters[3][0]), nullptr);

    Calibrations three;
    three.add("v3.tetra", mic1234(3));
    auto second = three.load();
    CFilter* w = second->postMatrixFilters[3][0];
    ASSERT_NE(dynamic_cast<CParaEQ3Band*>(w), nullptr);
    // Bands at 500 Hz (+3 dB) and 8 kHz (+1.5 dB), output -1 dB.
    w->setSamplingRate(48000.0f);
    EXPECT_NEAR(20.0 * std::log10(sineGain(*w, 500.0, 48000.0)), 2.0, 0.1);
}

TEST(TetraProcCalibrations, VersionOutsideOneToThreeEndsTheImport) {
    Calibrations calibrations;
    TetraCalibration calibration = mic1234(3);
    std::vector<OscMessage> messages = calibration.messages();
    // The matrix first, then a version-4 message: the matrix stays, the set is never assigned.
    moveMessage(messages, "/tetraproc", messages.size());
    messages.back().args[0] = OscArg::Int(4);
    calibrations.add("A4.tetra", encode(messages));
    auto processor = calibrations.load();
    // Whatever the listing order, at most the version-4 file and the files before it count.
    ASSERT_EQ(nameOf(*processor, 2), "A4");
    const float* v = processor->programs[2].values;
    EXPECT_EQ(v[kSlotLocked], 1.0f);
    EXPECT_EQ(v[kSlotCapGainBase + 1], plusMinus122parm(level2db(0.9f)));
    EXPECT_EQ(v[kSlotPreMatrixFilter], 0.0f);
    EXPECT_EQ(v[kSlotPostMatrixFilter], 0.0f);
    EXPECT_EQ(processor->numPostMatrixSets, 3);
    EXPECT_EQ(nameOf(*processor, 3), "User 3");
    EXPECT_EQ(takeNotices(*processor),
              std::vector<std::string>{"Calibration file has format version 4, which is not read "
                                       "(1 to 3 are); no calibration after it is read either: " +
                                       calibrations.directory + "/A4.tetra"});
}

TEST(TetraProcCalibrations, IncompleteAndHostileFilesGiveSafePrograms) {
    Calibrations calibrations;
    // Two channels only, a channel and a row outside 0..3, a zero and a NaN coefficient, the
    // post-matrix message before any version.
    TetraCalibration calibration = mic1234(3);
    calibration.matrix[0][0] = 0.0f;
    calibration.matrix[1][0] = std::nanf("");
    std::vector<OscMessage> messages = calibration.messages();
    removeMessages(messages, "/pmfilt/par");
    messages.push_back(calibration.pmMessage(0));
    messages.push_back(calibration.pmMessage(2));
    OscMessage outside = calibration.pmMessage(1);
    outside.args[0] = OscArg::Int(7);
    messages.push_back(outside);
    OscMessage row = messages[6];
    row.args[0] = OscArg::Int(-1);
    messages.push_back(row);
    calibrations.add("Partial.tetra", encode(messages));
    auto processor = calibrations.load();
    ASSERT_EQ(nameOf(*processor, 2), "Partial");
    const float* v = processor->programs[2].values;
    // A zero coefficient is limited to the lowest gain (-12 dB); a NaN one leaves the default.
    EXPECT_EQ(v[kSlotCapGainBase + 0], 0.0f);
    EXPECT_EQ(v[kSlotCapGainBase + 1], 0.5f);
    for (int k = 0; k < 4; ++k)
        ASSERT_NE(processor->postMatrixFilters[3][k], nullptr);
    EXPECT_NE(dynamic_cast<CParaEQ3Band*>(processor->postMatrixFilters[3][0]), nullptr);
    EXPECT_EQ(dynamic_cast<CParaEQ3Band*>(processor->postMatrixFilters[3][1]), nullptr);
    processor->setSampleRate(48000.0f);
    processor->setProgram(2);
    for (int index = 0; index < kNumParams; ++index)
        EXPECT_TRUE(std::isfinite(processor->getParameter(index))) << index;
    Block block(4096);
    for (int k = 0; k < 4; ++k)
        block.data[static_cast<size_t>(k)][10] = 1.0f;
    processor->processReplacing(block.pointers(), block.pointers(), 4096);
    for (const auto& channel : block.data)
        for (float s : channel)
            ASSERT_TRUE(std::isfinite(s));

    // Without any version message a post-matrix message has no known layout and is passed over.
    Calibrations unversioned;
    std::vector<OscMessage> noVersion = mic1234(3).messages();
    removeMessages(noVersion, "/tetraproc");
    unversioned.add("NoVersion.tetra", encode(noVersion));
    auto third = unversioned.load();
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(dynamic_cast<CParaEQ3Band*>(third->postMatrixFilters[3][k]), nullptr);
    EXPECT_EQ(third->numPostMatrixSets, 4);
}

TEST(TetraProcCalibrations, WhereFilesAreAndAreNotRead) {
    // Capital extensions are not binary calibrations; an empty file still claims a program, and a
    // cut-off one keeps what came before the cut; both are named in a notice.
    Calibrations calibrations;
    calibrations.add("Upper.TETRA", mic1234(3));
    calibrations.add("Empty.tetra", Bytes{});
    auto processor = calibrations.load();
    EXPECT_EQ(nameOf(*processor, 2), "User 2");
    EXPECT_EQ(nameOf(*processor, 3), "User 3");
    EXPECT_EQ(processor->numPostMatrixSets, 4);
    EXPECT_EQ(processor->programs[2].values[kSlotPostMatrixFilter], filter2parm(3));
    EXPECT_EQ(takeNotices(*processor),
              std::vector<std::string>{
                  "Calibration file holds no message: " + calibrations.directory + "/Empty.tetra"});
    Calibrations cut;
    const Bytes whole = mic1234(3).bytes();
    cut.add("Cut.tetra", Bytes(whole.begin(), whole.end() - 6));
    auto cutProcessor = cut.load();
    EXPECT_EQ(nameOf(*cutProcessor, 2), "Cut");
    EXPECT_EQ(takeNotices(*cutProcessor),
              std::vector<std::string>{"Calibration file is cut off or malformed after " +
                                       std::to_string(mic1234(3).messages().size() - 1) +
                                       " messages; those are read: " + cut.directory +
                                       "/Cut.tetra"});

    // With text calibrations in all six slots no binary calibration is read.
    Calibrations full;
    for (int i = 0; i < 6; ++i)
        full.root.write("calibrations/t" + std::to_string(i) + ".txt", "sens 1 1 1 1\n");
    full.add("Late.tetra", mic1234(3));
    auto crowded = full.load();
    for (int p = 2; p < 8; ++p)
        EXPECT_EQ(nameOf(*crowded, p)[0], 't');
}

TEST(TetraProcCalibrations, CommittedFixturesImport) {
    Calibrations calibrations;
    for (const char* fixture : {"default.tetra", "mic1234.tetra", "version2.tetra"}) {
        FILE* file = std::fopen(
            (std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/" + fixture).c_str(), "rb");
        ASSERT_NE(file, nullptr) << fixture;
        Bytes bytes;
        int ch;
        while ((ch = std::fgetc(file)) != EOF)
            bytes.push_back(static_cast<uint8_t>(ch));
        std::fclose(file);
        calibrations.add(fixture, bytes);
    }
    auto processor = calibrations.load();
    EXPECT_EQ(processor->numPostMatrixSets, 6);
    for (int p = 2; p < 5; ++p) {
        const std::string name = nameOf(*processor, p);
        EXPECT_TRUE(name == "default" || name == "mic1234" || name == "version2") << name;
        processor->setProgram(p);
        EXPECT_GE(processor->GetCoincidenceFilter(), 3);
    }
}
