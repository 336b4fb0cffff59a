#include "CalibrationDirectory.h"
#include "calibration/LineReader.h"
#include "core/TestProcessor.h"
#include "dsp/IIRFilter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {
// A Tolvin coefficient file: header word, nA, nB (little-endian 16 bit), B then A floats.
std::string tolvinFile(const std::vector<float>& b, const std::vector<float>& a) {
    std::string bytes(4, '\0');
    auto put16 = [&](int v) {
        bytes.push_back(static_cast<char>(v & 0xff));
        bytes.push_back(static_cast<char>((v >> 8) & 0xff));
    };
    put16(static_cast<int>(a.size()));
    put16(static_cast<int>(b.size()));
    for (const auto* values : {&b, &a})
        for (float value : *values) {
            uint32_t word;
            std::memcpy(&word, &value, 4);
            for (int i = 0; i < 4; ++i)
                bytes.push_back(static_cast<char>((word >> (8 * i)) & 0xff));
        }
    return bytes;
}

using Calibrations = CalibrationDirectory;

const float* values(TestXeTetra& processor, int program) {
    return processor.programs[program].values;
}
} // namespace

TEST(LineReader, LinesEndsAndLimits) {
    TempDirectory scratch;
    const std::string path = scratch.write("lines", "ab\r\ncd\nefghij");
    FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    char buffer[5];
    ASSERT_NE(myfgets(buffer, 5, file), nullptr);
    EXPECT_STREQ(buffer, "ab\r");
    myfgets(buffer, 5, file);
    EXPECT_STREQ(buffer, "\n");
    myfgets(buffer, 5, file);
    EXPECT_STREQ(buffer, "cd\n");
    myfgets(buffer, 5, file);
    EXPECT_STREQ(buffer, "efgh");
    myfgets(buffer, 5, file);
    EXPECT_STREQ(buffer, "ij");
    EXPECT_TRUE(std::feof(file));
    EXPECT_EQ(myfgets(buffer, 5, file), nullptr);
    EXPECT_STREQ(buffer, "ij");
    std::fclose(file);
}

TEST(TextCalibrations, MinimalFileGivesFixedValuesAndAnEmptySet) {
    Calibrations calibrations;
    calibrations.add("Mic1234.cal.txt", "sens 0 0 0 0\n");
    auto processor = calibrations.load();
    EXPECT_EQ(nameOf(*processor, 2), "Mic1234");
    EXPECT_EQ(nameOf(*processor, 3), "User 3");
    const float* v = values(*processor, 2);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(v[kSlotCapGainBase + 4 * c], 0.5f);
    EXPECT_EQ(v[kSlotLFEnabled], 1.0f);
    EXPECT_EQ(v[kSlotEQsEnabled], 1.0f);
    EXPECT_EQ(v[kSlotPreMatrixFilter], 0.0f);
    EXPECT_EQ(v[kSlotViewMode], 0.0f);
    EXPECT_EQ(v[kSlotLocked], 0.0f);
    EXPECT_EQ(v[kSlotCalibration], 0.0f);
    EXPECT_EQ(v[kSlotGainsLinked], 0.0f);
    EXPECT_EQ(v[kSlotLFCutFreq], 1.0f); // untouched user default
    EXPECT_EQ(v[kSlotPostMatrixFilter], filter2parm(3));
    EXPECT_EQ(processor->numPostMatrixSets, 4);
    for (int k = 0; k < 4; ++k) {
        ASSERT_NE(dynamic_cast<CIIRFilter*>(processor->postMatrixFilters[3][k]), nullptr);
        EXPECT_STREQ(processor->postMatrixFilters[3][k]->getName(), "Mic1234");
    }
    // Selecting it at a rate without coefficients reports it, once for its W and once for its Vel
    // coefficient set.
    processor->setSampleRate(48000.0f);
    processor->setProgram(2);
    EXPECT_EQ(processor->GetCoincidenceFilter(), 3);
    EXPECT_EQ(processor->getAeffect()->initialDelay, 0);
    char notice[CNoticeQueue::kMaxNoticeLength];
    int count = 0;
    ASSERT_TRUE(processor->getNoticeQueue()->peek(notice, sizeof(notice), &count));
    EXPECT_STREQ(notice, "No filter found for sampling rate  48000");
    EXPECT_EQ(count, 2);
    char display[64] = {};
    processor->getParameterDisplay(kPostMatrixFilter, display);
    EXPECT_STREQ(display, "Mic1234");
}

TEST(TextCalibrations, KeyedLines) {
    Calibrations calibrations;
    calibrations.add("a.txt", "# microphone 1234, measured in March\n"
                              "sens 0.12 -0.30 0.05 0.21\n"
                              "vsens 0.10 -0.25 0.02 0.18\n"
                              "EQ 1.5 1.2 0.8 1.1\n"
                              "EQfreq 0 1000 0 0\n"
                              "EQbw 4000 1000 0 4050\n"
                              "W -3\n"
                              "X -3\n"
                              "Y 1\n"
                              "Z 2\n"
                              "LF 40 120\n");
    auto processor = calibrations.load();
    const float* v = values(*processor, 2);
    const float sens[] = {0.12f, -0.30f, 0.05f, 0.21f};
    const float vsens[] = {0.10f, -0.25f, 0.02f, 0.18f};
    const float eq[] = {1.5f, 1.2f, 0.8f, 1.1f};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(v[kSlotCapGainBase + 4 * c], plusMinus122parm(sens[c]));
        for (int k = 1; k < 4; ++k)
            EXPECT_EQ(v[kSlotCapGainBase + 4 * c + k], plusMinus122parm(vsens[c]));
        EXPECT_EQ(v[kSlotEQGainBase + c], plusMinus152parm(eq[c]));
    }
    EXPECT_EQ(v[kSlotEQFreqBase + 0], 0.0f);
    EXPECT_NEAR(v[kSlotEQFreqBase + 1], std::log10(50.0) / 3.0, 1e-6);
    EXPECT_NEAR(v[kSlotEQFreqBase + 1], 0.5663f, 1e-4f);
    // Widths from the centre already stored: 20 Hz for a 0 slot (4000 Hz about it is 15 octaves,
    // limited to the widest band of 5), 1000 Hz for capsule 2.
    EXPECT_GT(hz2oct(20.0, 4000.0), 5.0);
    EXPECT_EQ(v[kSlotEQWidthBase + 0], 1.0f);
    EXPECT_NEAR(v[kSlotEQWidthBase + 1] * 5.0f, 1.39f, 0.01f);
    EXPECT_EQ(v[kSlotEQWidthBase + 2], 0.0f);
    EXPECT_EQ(v[kSlotOutputGainBase + 0], 0.5f);
    EXPECT_FLOAT_EQ(v[kSlotOutputGainBase + 1], 0.4f);
    EXPECT_EQ(v[kSlotOutputGainBase + 2], plusMinus152parm(1.0f));
    EXPECT_EQ(v[kSlotOutputGainBase + 3], plusMinus152parm(2.0f));
    EXPECT_EQ(v[kSlotLFCutFreq], lowfreq2parm(40.0f));
    EXPECT_EQ(v[kSlotLFBoostFreq], lowfreq2parm(120.0f));
    // The program applies them when selected.
    processor->setProgram(2);
    EXPECT_FLOAT_EQ(processor->lfCutFreq, 40.0f);
    EXPECT_FLOAT_EQ(processor->outGains[0], 0.0f);
    EXPECT_NEAR(processor->capGains[1][0], -0.30f, 1e-6f);
}

TEST(TextCalibrations, LineEndsOrderAndLostKeys) {
    const std::string lines[] = {"sens 1 2 3 4",
                                 "vsens 1 1 1 1",
                                 "EQ 1 1 1 1",
                                 "EQfreq 100 200 300 400",
                                 "EQbw 50 60 70 80",
                                 "W 2",
                                 "X 1",
                                 "Y 1",
                                 "Z 1",
                                 "LF 30 60"};
    std::string lf, crlf;
    for (const auto& line : lines) {
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    Calibrations calibrations;
    calibrations.add("lf.txt", lf);
    calibrations.add("crlf.txt", crlf);
    // A missing key consumes the rest of the file; later keys are tested against its last line.
    calibrations.add("missing.txt", "sens 1 1 1 1\nvsens 1 1 1 1\nW 2\nLF 30 60\n");
    auto processor = calibrations.load();
    const float* v[3];
    for (int p = 2; p < 5; ++p) {
        const std::string name = nameOf(*processor, p);
        v[name == "lf" ? 0 : name == "crlf" ? 1 : 2] = values(*processor, p);
    }
    // CR-LF line ends read exactly like LF ones.
    for (int slot = 0; slot < kNumParams; ++slot) {
        if (slot != kSlotPostMatrixFilter) {
            EXPECT_EQ(v[0][slot], v[1][slot]) << slot;
        }
    }
    EXPECT_EQ(v[0][kSlotOutputGainBase], plusMinus152parm(5.0f));
    EXPECT_EQ(v[0][kSlotLFCutFreq], lowfreq2parm(30.0f));
    EXPECT_EQ(v[0][kSlotEQFreqBase + 3], freq2parm(400.0f));
    EXPECT_EQ(v[2][kSlotCapGainBase + 1], plusMinus122parm(1.0f));
    EXPECT_EQ(v[2][kSlotOutputGainBase], 0.5f);
    EXPECT_EQ(v[2][kSlotLFCutFreq], lowfreq2parm(30.0f));

    // "EQ" before "vsens" is passed over by the vsens search and lost; a lone "X" holds no
    // value, and the "Y" search starts on the line after it.
    Calibrations ordered;
    ordered.add("order.txt", "sens 1 1 1 1\nEQ 3 3 3 3\nvsens 2 2 2 2\nEQ 4 4 4 4\n"
                             "EQfreq 100 100 100 100\nEQbw 10 10 10 10\nW 1\nX\nY 4\nZ 5\n"
                             "LF 30 60\n");
    auto second = ordered.load();
    const float* b = values(*second, 2);
    EXPECT_EQ(b[kSlotEQGainBase], plusMinus152parm(4.0f));
    EXPECT_EQ(b[kSlotCapGainBase + 1], plusMinus122parm(2.0f));
    EXPECT_EQ(b[kSlotOutputGainBase + 1], 0.5f);
    EXPECT_EQ(b[kSlotOutputGainBase + 2], plusMinus152parm(4.0f));
    EXPECT_EQ(b[kSlotOutputGainBase + 3], plusMinus152parm(5.0f));
    EXPECT_EQ(b[kSlotLFCutFreq], lowfreq2parm(30.0f));
}

// A UTF-8 byte-order mark (as editors elsewhere write) is passed over; a UTF-16 file is named in
// a notice and claims no program.
TEST(TextCalibrations, ByteOrderMarks) {
    const std::string text = "sens 1 2 3 4\nvsens 1 1 1 1\nEQ 1 1 1 1\nEQfreq 100 200 300 400\n"
                             "EQbw 50 60 70 80\nW 2\nX 1\nY 1\nZ -3\nLF 30 60\n";
    auto utf16 = [&text](bool bigEndian) {
        std::string out = bigEndian ? "\xfe\xff" : "\xff\xfe";
        for (char ch : text)
            out += bigEndian ? std::string{'\0', ch} : std::string{ch, '\0'};
        return out;
    };
    std::string crlf;
    for (char ch : text)
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    Calibrations plain;
    plain.add("Mic.txt", text);
    auto reference = plain.load();
    const struct {
        const char* what;
        std::string content;
        bool read;
    } cases[] = {
        {"UTF-8 mark", "\xef\xbb\xbf" + text, true},
        {"UTF-8 mark, CR-LF", "\xef\xbb\xbf" + crlf, true},
        {"UTF-16 little-endian", utf16(false), false},
        {"UTF-16 big-endian", utf16(true), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Calibrations calibrations;
        calibrations.add("Mic.txt", c.content);
        auto processor = calibrations.load();
        char notice[CNoticeQueue::kMaxNoticeLength] = {};
        int count = 0;
        const bool noticed = processor->getNoticeQueue()->peek(notice, sizeof(notice), &count);
        if (c.read) {
            EXPECT_FALSE(noticed) << notice;
            for (int slot = 0; slot < kNumParams; ++slot)
                EXPECT_EQ(values(*processor, 2)[slot], values(*reference, 2)[slot]) << slot;
        } else {
            EXPECT_EQ(nameOf(*processor, 2), "User 2");
            EXPECT_EQ(std::string(notice),
                      "Calibration file is UTF-16, which is not read; save it as UTF-8: " +
                          calibrations.directory + "/Mic.txt");
        }
    }
}

TEST(TextCalibrations, LongCommentSplitsIntoAKeyLine) {
    Calibrations calibrations;
    // 79 characters of comment, then "sens ..." continues on the same physical line.
    calibrations.add("long.txt", std::string(79, '#') + "sens 6 6 6 6\n");
    auto processor = calibrations.load();
    EXPECT_EQ(values(*processor, 2)[kSlotCapGainBase], plusMinus122parm(6.0f));
}

TEST(TextCalibrations, EmptyFileLeaksNothingFromTheFileBefore) {
    Calibrations calibrations;
    calibrations.add("full.txt", "sens 5 5 5 5\nvsens 5 5 5 5\nEQ 5 5 5 5\nLF 100 200\n");
    calibrations.add("empty.txt", "");
    auto processor = calibrations.load();
    const int empty = nameOf(*processor, 2) == "empty" ? 2 : 3;
    const float* v = values(*processor, empty);
    AXeTetraProgram user;
    for (int slot = 0; slot < kNumParams; ++slot) {
        if (slot == kSlotPostMatrixFilter || slot == kSlotLFEnabled || slot == kSlotEQsEnabled)
            continue;
        const float expected = slot == kSlotLFCutFreq ? 1.0f : user.values[slot];
        EXPECT_EQ(v[slot], expected) << slot;
    }
    EXPECT_EQ(takeNotices(*processor),
              std::vector<std::string>{"Calibration file holds no value: none of the keys sens, "
                                       "vsens, EQ, EQfreq, EQbw, W, X, Y, Z, LF with a number: " +
                                       calibrations.directory + "/empty.txt"});
}

TEST(TextCalibrations, CoefficientFilesLoadIntoTheSetAndFilterTheOutputs) {
    Calibrations calibrations;
    calibrations.add("Mic7.txt",
                     "sens 0 0 0 0\nvsens 0 0 0 0\nEQ 0 0 0 0\nEQfreq 1000 1000 1000 1000\n"
                     "EQbw 100 100 100 100\nW -3\nX 0\nY 0\nZ 0\nLF 20 20\n"
                     "W W48\nVel VEL48\n\nW missing-W96\nnot a file line\nVel VEL44\n");
    calibrations.root.makeDirectory("calibrations/Mic7");
    calibrations.add("Mic7/W48", tolvinFile({0.5f}, {0.0f}));
    calibrations.add("Mic7/VEL48", tolvinFile({2.0f}, {0.0f}));
    auto calibrated = calibrations.load();
    auto plain = calibrations.load();
    for (auto* processor : {calibrated.get(), plain.get()}) {
        processor->setSampleRate(48000.0f);
        processor->setProgram(2);
    }
    // The missing W96 file was reported while loading.
    char notice[CNoticeQueue::kMaxNoticeLength];
    int count = 0;
    ASSERT_TRUE(calibrated->getNoticeQueue()->peek(notice, sizeof(notice), &count));
    EXPECT_NE(std::strstr(notice, "Failed to open Tolvin filter coefficients file: "), nullptr);
    EXPECT_NE(std::strstr(notice, "/Mic7/missing-W96"), nullptr);
    plain->setParameter(kPostMatrixFilter, 0.0f);

    Block a(1024), b(1024);
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 1024; ++i)
            a.data[static_cast<size_t>(k)][static_cast<size_t>(i)] =
                b.data[static_cast<size_t>(k)][static_cast<size_t>(i)] =
                    std::sin(0.01f * static_cast<float>(i * (k + 1)));
    calibrated->processReplacing(a.pointers(), a.pointers(), 1024);
    plain->processReplacing(b.pointers(), b.pointers(), 1024);
    for (size_t i = 0; i < 1024; ++i) {
        EXPECT_EQ(a.data[0][i], 0.5f * b.data[0][i]);
        for (size_t k = 1; k < 4; ++k)
            EXPECT_EQ(a.data[k][i], 2.0f * b.data[k][i]);
    }
}

TEST(TextCalibrations, SevenFilesFillSixProgramsAndFiveSets) {
    Calibrations calibrations;
    for (int i = 0; i < 7; ++i)
        calibrations.add("cal" + std::to_string(i) + ".TXT", "sens 1 1 1 1\n");
    calibrations.add("other.tetra", "not read: the programs are full");
    auto processor = calibrations.load();
    std::vector<std::string> names;
    for (int p = 2; p < 8; ++p) {
        names.push_back(nameOf(*processor, p));
        EXPECT_EQ(names.back().substr(0, 3), "cal");
    }
    EXPECT_EQ(processor->numPostMatrixSets, 8);
    // The sixth calibration found the set table full and keeps to "None".
    EXPECT_EQ(values(*processor, 7)[kSlotPostMatrixFilter], 0.0f);
    processor->setProgram(7);
    EXPECT_EQ(processor->GetCoincidenceFilter(), 0);
    for (int p = 2; p < 7; ++p) {
        processor->setProgram(p);
        EXPECT_EQ(processor->GetCoincidenceFilter(), p + 1);
    }
}

TEST(TextCalibrations, OddEntries) {
    Calibrations calibrations;
    calibrations.root.makeDirectory("calibrations/folder.txt");
    calibrations.add(std::string(200, 'n') + ".txt", "sens 2 2 2 2\n");
    calibrations.add("a.Txt", "sens 3 3 3 3\n");
    auto processor = calibrations.load();
    EXPECT_EQ(nameOf(*processor, 2), std::string(23, 'n'));
    // The directory and the .Txt file are not read.
    EXPECT_EQ(nameOf(*processor, 3), "User 3");
    EXPECT_EQ(processor->numPostMatrixSets, 4);
    EXPECT_EQ(processor->getNoticeQueue()->pending(), 0);
}
