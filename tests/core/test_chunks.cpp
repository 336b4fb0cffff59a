// The state as a chunk: what a chunk of the first format restores, which chunks are refused
// without a trace, and how post-matrix sets are found again by their calibration's name.
// Round trips through the shared object are in tests/integration.

#include "TestProcessor.h"
#include "core/ProgramChunk.h"
#include "support/SampleCalibrations.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes chunkOf(AXeTetra& processor, bool isPreset) {
    void* data = nullptr;
    const VstInt32 size = processor.getChunk(&data, isPreset);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return size > 0 && bytes != nullptr ? Bytes(bytes, bytes + size) : Bytes();
}

VstInt32 restore(AXeTetra& processor, Bytes bytes, bool isPreset) {
    return processor.setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), isPreset);
}

Bytes fixture(const std::string& name) {
    std::ifstream in(std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void clearNotices(AXeTetra& processor) {
    while (processor.getNoticeQueue()->dismiss() != 0) {
    }
}

std::string oldestNotice(AXeTetra& processor) {
    char text[CNoticeQueue::kMaxNoticeLength] = {};
    int count = 0;
    processor.getNoticeQueue()->peek(text, sizeof(text), &count);
    return text;
}

// Everything a chunk could change: the bank as it would be saved (all programs, their names, the
// current program and the instance's settings), every current value, the selected set and delay.
std::vector<double> snapshot(TestXeTetra& processor) {
    const Bytes bank = chunkOf(processor, false);
    std::vector<double> s(bank.begin(), bank.end());
    s.insert(s.end(), processor.curValues, processor.curValues + kNumParams);
    s.insert(s.end(), {static_cast<double>(processor.GetCoincidenceFilter()),
                       static_cast<double>(processor.getInitialDelay())});
    return s;
}

} // namespace

// A bank written by the first format stays readable by every later plug-in: this fixture is never
// regenerated. It holds program 3 renamed "Hall, row 12" with Output 2 Gain 0.6, selected, and
// Display VU on; program 5 with "2.3cm", EQs on and Cap 1 EQ Freq 0.25.
TEST(Chunks, FirstFormatBankStaysReadable) {
    const Bytes bank = fixture("state-bank-v1.xetc");
    ASSERT_EQ(bank.size(), 1665u);
    TestXeTetra processor;
    processor.setSampleRate(48000.0f);
    // Output parameters the bank does not hold: its programs bring their defaults.
    processor.setProgram(3);
    processor.setParameter(kOutputOrder, 1.0f);
    processor.setParameter(kOrientation, 0.5f);
    processor.setParameter(kInvertX, 1.0f);
    ASSERT_EQ(restore(processor, bank, false), 1);
    EXPECT_EQ(processor.getProgram(), 3);
    for (int index = kOutputOrder; index < kNumParams; ++index)
        EXPECT_EQ(processor.getParameter(index), 0.0f) << index;
    EXPECT_TRUE(processor.outputFormat.isDefault());
    EXPECT_EQ(programName(processor), "Hall, row 12");
    EXPECT_EQ(processor.getParameter(kOutputGainBase + 1), 0.6f);
    EXPECT_EQ(processor.outGains[1], parm2PlusMinus15(0.6f));
    EXPECT_EQ(processor.getParameter(kDisplayVU), 1.0f);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 0);
    EXPECT_EQ(processor.getInitialDelay(), 0);
    const AXeTetraProgram defaults;
    for (int p = 0; p < kNumPrograms; ++p) {
        char name[64] = {};
        processor.getProgramNameIndexed(0, p, name);
        const std::string expected = p == 0   ? "Ambrel - uncalibrated"
                                     : p == 1 ? "1.47cm"
                                     : p == 3 ? "Hall, row 12"
                                              : "User " + std::to_string(p);
        EXPECT_EQ(name, expected);
        // Parameters added after the first format take a new program's defaults.
        for (int slot = static_cast<int>(CProgramChunk::kVersion1Values); slot < kNumParams; ++slot)
            EXPECT_EQ(processor.programs[p].values[slot], defaults.values[slot])
                << p << " " << slot;
    }
    processor.setProgram(5);
    EXPECT_EQ(display(processor, kPostMatrixFilter), "2.3cm");
    EXPECT_EQ(processor.getParameter(kCapsuleBase + kCapEQFreq), 0.25f);
    EXPECT_TRUE(processor.eqsEnabled);
    EXPECT_EQ(processor.getInitialDelay(), 1024);
    processor.setProgram(0);
    EXPECT_FLOAT_EQ(processor.lfCutFreq, 25.0f);
    EXPECT_EQ(processor.outGains[0], -8.0f);
}

TEST(Chunks, BadChunksAreRefusedWholeAndChangeNothing) {
    TestXeTetra processor;
    const Bytes bank = fixture("state-bank-v1.xetc");
    // Program 0 is "Ambrel - uncalibrated": 21 bytes of name after the 24-byte header and its
    // length, then 46 values, then the set name.
    const size_t name0 = 28, value0 = name0 + 21, setLength0 = value0 + 4 * 46;

    // A state unlike the defaults and unlike the fixture's, so that any change shows.
    processor.setProgram(6);
    char name[] = "Before";
    processor.setProgramName(name);
    processor.setParameter(kOutputGainBase + 3, 0.9f);
    processor.setParameter(kPostMatrixFilter, filter2parm(1));
    processor.setParameter(kCalibration, 1.0f);
    const Bytes program = chunkOf(processor, true);
    const std::vector<double> before = snapshot(processor);

    const auto patched = [&bank](size_t at, uint32_t value) {
        Bytes b = bank;
        for (size_t i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(value >> (8 * i));
        return b;
    };
    Bytes withNul = bank, extra = bank, wrongMagic = bank;
    withNul[name0 + 3] = 0;
    extra.push_back(0);
    wrongMagic[3] = 'c';
    const struct {
        const char* what;
        Bytes bytes;
        bool isPreset;
        const char* reason;
    } cases[] = {
        {"empty", {}, false, "it is empty"},
        {"another format", wrongMagic, false, "it is not XeTetraVST state"},
        {"cut in a value", Bytes(bank.begin(), bank.begin() + value0 + 6), false, "ends early"},
        {"a newer format", patched(4, CProgramChunk::kVersion + 1), false, "newer XeTetraVST"},
        {"format 0", patched(4, 0), false, "format version is 0"},
        {"kind 2", patched(8, 2), false, "kind 2"},
        {"7 programs", patched(12, 7), false, "7 programs"},
        {"current program 8", patched(16, 8), false, "current program 8"},
        {"45 values", patched(20, 45), false, "45 values"},
        {"more values than known", patched(20, kNumParams + 1), false, "newer one"},
        {"a 24-byte name", patched(24, 24), false, "name of program 0 is too long"},
        {"a NUL in a name", withNul, false, "holds a NUL byte"},
        {"NaN", patched(value0 + 4 * 3, 0x7fc00000u), false, "not a number (slot 3)"},
        {"minus infinity", patched(value0, 0xff800000u), false, "not a number (slot 0)"},
        {"a long set name", patched(setLength0, 84), false, "set name of program 0 is too long"},
        {"a byte after the end", extra, false, "1 bytes follow"},
        {"a bank as a program", bank, true, "gave a bank where it asked for one program"},
        {"a program as the bank", program, false, "gave one program where it asked for the bank"},
    };
    for (const auto& c : cases) {
        clearNotices(processor);
        EXPECT_EQ(restore(processor, c.bytes, c.isPreset), 0) << c.what;
        EXPECT_EQ(snapshot(processor), before) << c.what;
        EXPECT_EQ(processor.getNoticeQueue()->pending(), 1) << c.what;
        const std::string notice = oldestNotice(processor);
        EXPECT_EQ(notice.rfind("Stored state not loaded: ", 0), 0u) << notice;
        EXPECT_NE(notice.find(c.reason), std::string::npos) << c.what << ": " << notice;
    }
}

// Set numbers follow the directory's listing; the chunk names the calibration, so its program
// finds its set again under another number, and one that is gone is said to be gone.
TEST(Chunks, PostMatrixSetsAreFoundByTheirCalibrationsName) {
    TempDirectory scratch;
    const std::string directory = scratch.makeDirectory("calibrations");
    for (const char* name : {"MicA", "MicB"}) {
        samplecal::TextCalibration c;
        c.name = name;
        ASSERT_TRUE(samplecal::writeTextCalibration(directory, c));
    }
    const CCalibrationPaths paths = CCalibrationPaths::only(directory);
    Bytes bank;
    std::string first, second;
    {
        TestXeTetra processor(nullptr, paths);
        ASSERT_EQ(processor.GetNumPostMatrixSets(), 5);
        processor.setProgram(3); // the second calibration listed: set 4
        second = programName(processor);
        processor.setParameter(kOutputGainBase, 0.7f);
        processor.setProgram(2);
        first = programName(processor);
        processor.setParameter(kPostMatrixFilter, filter2parm(4)); // the other calibration's set
        bank = chunkOf(processor, false);
    }
    // The first listed calibration is gone: the second one's set is number 3 now.
    ASSERT_EQ(std::remove((directory + "/" + first + ".txt").c_str()), 0);
    {
        TestXeTetra processor(nullptr, paths);
        ASSERT_EQ(processor.GetNumPostMatrixSets(), 4);
        clearNotices(processor);
        ASSERT_EQ(restore(processor, bank, false), 1);
        EXPECT_EQ(processor.getProgram(), 2);
        EXPECT_EQ(programName(processor), first);
        EXPECT_EQ(display(processor, kPostMatrixFilter), second);
        EXPECT_EQ(processor.GetCoincidenceFilter(), 3);
        processor.setProgram(3);
        EXPECT_EQ(programName(processor), second);
        EXPECT_EQ(processor.GetCoincidenceFilter(), 3);
        EXPECT_EQ(processor.getParameter(kOutputGainBase), 0.7f);
        EXPECT_EQ(processor.getNoticeQueue()->pending(), 0) << oldestNotice(processor);
        bank = chunkOf(processor, false);
    }
    // Now the second is gone too: both programs keep their values and run no set.
    ASSERT_EQ(std::remove((directory + "/" + second + ".txt").c_str()), 0);
    TestXeTetra processor(nullptr, paths);
    clearNotices(processor);
    ASSERT_EQ(restore(processor, bank, false), 1);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 0);
    EXPECT_EQ(oldestNotice(processor), "Calibration \"" + second + "\" of program \"" + first +
                                           "\" not found: the program runs no post-matrix filter "
                                           "set");
    EXPECT_EQ(processor.getNoticeQueue()->pending(), 2);
    processor.setProgram(3);
    EXPECT_EQ(programName(processor), second);
    EXPECT_EQ(display(processor, kPostMatrixFilter), "None");
    EXPECT_EQ(processor.getParameter(kOutputGainBase), 0.7f);
}
