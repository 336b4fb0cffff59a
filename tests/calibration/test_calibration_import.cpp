// Calibration files read into plain values: the program each becomes, the post-matrix set it
// describes and the notices reading it raised, exactly. The processor makes a program and a set of
// them in tests/integration (a text calibration) and tests/tools (a tetraproc one, against
// tetrafile).

#include "calibration/Calibration.h"
#include "calibration/TetraFileWriter.h"
#include "dsp/ABMatrix.h"
#include "dsp/FilterCoefficients.h"
#include "support/SampleCalibrations.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using tetrafile::Bytes;
using tetrafile::OscArg;
using tetrafile::OscMessage;
using tetrafile::TetraCalibration;

namespace {

// As an instance imports: programs 2 to 7, starting as the user programs; sets 3 to 7.
CCalibrationImport importFrom(const CCalibrationPaths& paths) {
    std::vector<AXeTetraProgram> blanks;
    for (int program = 2; program < kNumPrograms; ++program)
        blanks.push_back(AXeTetraProgram::user(program));
    return importCalibrations(paths, blanks, 3, kMaxFilterSets);
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// An ordinary text calibration with the line of the key `line` starts with replaced by it.
std::string textWith(const std::string& line) {
    std::istringstream in("sens 0.1 0.2 0.3 0.4\nvsens 0.1 0.2 0.3 0.4\nEQ 1 1 1 1\n"
                          "EQfreq 1000 1000 1000 1000\nEQbw 500 500 500 500\nW 0\nX 0\nY 0\nZ 0\n"
                          "LF 40 120\n");
    std::string out;
    for (std::string l; std::getline(in, l);)
        out += (l.substr(0, l.find(' ')) == line.substr(0, line.find(' ')) ? line : l) + "\n";
    return out;
}

// The calibration of a directory holding one file, and its notices one a line, without the file's
// path that ends them; any other path in the directory starts with "@".
struct Read {
    CCalibrationImport import;
    std::string notices;
};

Read readOne(const std::string& file, const std::string& content) {
    TempDirectory root;
    const std::string directory = root.makeDirectory("calibrations");
    root.write("calibrations/" + file, content);
    // The coefficient files a text calibration "Mic7" names.
    root.makeDirectory("calibrations/Mic7");
    samplecal::writeTolvinFile(directory + "/Mic7/W48", {0.5f}, {0.0f});
    samplecal::writeTolvinFile(directory + "/Mic7/VEL48", {2.0f}, {0.0f});
    Read read{importFrom(CCalibrationPaths::only(directory)), ""};
    for (std::string notice : read.import.notices.texts()) {
        const size_t at = notice.rfind(": " + directory + "/" + file);
        if (at != std::string::npos) notice.erase(at);
        const size_t other = notice.find(directory);
        if (other != std::string::npos) notice.replace(other, directory.size(), "@");
        read.notices += notice + "\n";
    }
    return read;
}

using Origin = CCalibrationPlace::Origin;

struct Case {
    const char* what;
    std::string file; // its name in the calibrations directory
    std::string content;
    std::vector<std::pair<int, float>> values; // program slot, exact value
    std::string notices = "";                  // one a line, without the file's path
    std::function<void(const CCalibration&)> check = nullptr;
};

void expectCase(const Case& c, const std::string& content) {
    const Read read = readOne(c.file, content);
    EXPECT_EQ(read.notices, c.notices);
    ASSERT_EQ(read.import.calibrations.size(), 1u);
    const CCalibration& calibration = read.import.calibrations[0];
    for (const auto& value : c.values)
        EXPECT_EQ(calibration.program.values[value.first], value.second) << "slot " << value.first;
    if (c.check) c.check(calibration);
}

std::pair<int, float> capGain(int capsule, int output, float parm) {
    return {kSlotCapGainBase + 4 * capsule + output, parm};
}

} // namespace

TEST(CalibrationImport, TextCalibrations) {
    const Case cases[] = {
        {"every key",
         "a.txt",
         "# microphone 1234, measured in March\nsens 0.12 -0.30 0.05 0.21\n"
         "vsens 0.10 -0.25 0.02 0.18\nEQ 1.5 1.2 0.8 1.1\nEQfreq 0 1000 0 0\n"
         "EQbw 4000 1000 0 4050\nW -3\nX -3\nY 1\nZ 2\nLF 40 120\n",
         {capGain(1, 0, plusMinus122parm(-0.30f)),
          capGain(1, 3, plusMinus122parm(-0.25f)),
          {kSlotEQGainBase + 3, plusMinus152parm(1.1f)},
          {kSlotEQFreqBase + 0, 0.0f},
          {kSlotEQFreqBase + 1, freq2parm(1000.0f)},
          // Widths about the centre already read: 20 Hz for a 0 (4000 Hz about it is beyond the
          // widest band of 5 octaves), 1000 Hz for capsule 2 (below); a width of 0 stays 0.
          {kSlotEQWidthBase + 0, 1.0f},
          {kSlotEQWidthBase + 2, 0.0f},
          {kSlotOutputGainBase + 0, 0.5f}, // W is raised by 3 dB
          {kSlotOutputGainBase + 1, plusMinus152parm(-3.0f)},
          {kSlotOutputGainBase + 3, plusMinus152parm(2.0f)},
          {kSlotLFCutFreq, lowfreq2parm(40.0f)},
          {kSlotLFBoostFreq, lowfreq2parm(120.0f)},
          {kSlotLFEnabled, 1.0f},
          {kSlotEQsEnabled, 1.0f},
          {kSlotLocked, 0.0f},
          {kSlotCalibration, 0.0f}},
         "Out-of-range calibration value EQbw 4000 limited to 5 octaves\n"
         "Out-of-range calibration value EQbw 4050 limited to 5 octaves\n",
         [](const CCalibration& c) {
             EXPECT_STREQ(c.program.name, "a");
             EXPECT_NEAR(c.program.values[kSlotEQWidthBase + 1] * 5.0f, 1.39f, 0.01f);
             EXPECT_EQ(c.filterSet.kind, CFilterSetDescription::Kind::kRecursive);
         }},
        {"one key; the name ends at the first dot",
         "Mic1234.cal.txt",
         "sens 0 0 0 0\n",
         {capGain(3, 0, 0.5f), {kSlotLFCutFreq, 1.0f}, {kSlotEQFreqBase, 0.0f}},
         "",
         [](const CCalibration& c) { EXPECT_STREQ(c.program.name, "Mic1234"); }},
        // A missing key consumes the rest of the file; later keys are sought on its last line.
        {"a missing key",
         "a.txt",
         "sens 1 1 1 1\nvsens 1 1 1 1\nW 2\nLF 30 60",
         {capGain(0, 1, plusMinus122parm(1.0f)),
          {kSlotOutputGainBase, 0.5f},
          {kSlotLFCutFreq, lowfreq2parm(30.0f)}}},
        // "EQ" before "vsens" is passed over by the search for vsens; a lone "X" holds no value,
        // and the search for "Y" starts on the line after it.
        {"keys out of order",
         "a.txt",
         "sens 1 1 1 1\nEQ 3 3 3 3\nvsens 2 2 2 2\nEQ 4 4 4 4\nEQfreq 100 100 100 100\n"
         "EQbw 10 10 10 10\nW 1\nX\nY 4\nZ 5\nLF 30 60\n",
         {{kSlotEQGainBase, plusMinus152parm(4.0f)},
          capGain(0, 1, plusMinus122parm(2.0f)),
          {kSlotOutputGainBase + 1, 0.5f},
          {kSlotOutputGainBase + 2, plusMinus152parm(4.0f)}}},
        // 79 characters of comment fill a line: "sens ..." goes on as a line of its own.
        {"a long comment",
         "a.txt",
         std::string(79, '#') + "sens 6 6 6 6\n",
         {capGain(0, 0, plusMinus122parm(6.0f))}},
        {"not a number",
         "a.txt",
         textWith("sens nan 0 0 0"),
         {capGain(0, 0, 0.5f)},
         "Calibration value sens nan is not a usable number, ignored\n"},
        // Coefficient files: a blank line is passed over, a line of anything else ends them.
        {"coefficient files",
         "Mic7.txt",
         textWith("") + "W W48\nVel VEL48\n\nW missing-W96\nnot a file line\nVel VEL44\n",
         {},
         "Failed to open Tolvin filter coefficients file: @/Mic7/missing-W96\n",
         [](const CCalibration& c) {
             EXPECT_EQ(c.source.coefficientFiles,
                       (std::vector<std::string>{"W48", "VEL48", "missing-W96"}));
             ASSERT_EQ(c.filterSet.kind, CFilterSetDescription::Kind::kRecursive);
             EXPECT_FALSE(c.filterSet.w->hasFilterFor(96000.0f));
             EXPECT_FALSE(c.filterSet.velocity->hasFilterFor(44100.0f));
         }},
    };
    for (const Case& c : cases) {
        // The same with CR-LF line ends, and after a UTF-8 byte-order mark.
        std::string crlf;
        for (char ch : c.content)
            crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        const std::pair<std::string, const char*> variants[] = {
            {c.content, ""}, {crlf, ", CR-LF"}, {"\xef\xbb\xbf" + c.content, ", UTF-8 mark"}};
        for (const auto& [content, variant] : variants) {
            SCOPED_TRACE(c.what + std::string(variant));
            expectCase(c, content);
        }
    }
    // A UTF-16 file, either way round, claims no program.
    for (bool bigEndian : {false, true}) {
        std::string content = bigEndian ? "\xfe\xff" : "\xff\xfe";
        for (char ch : std::string("sens 1 2 3 4\n"))
            content += bigEndian ? std::string{'\0', ch} : std::string{ch, '\0'};
        const Read read = readOne("Mic.txt", content);
        EXPECT_TRUE(read.import.calibrations.empty());
        EXPECT_EQ(read.notices,
                  "Calibration file is UTF-16, which is not read; save it as UTF-8\n");
    }
}

// A value beyond what its parameter, or a band of a tetraproc set, can express is limited to the
// nearer end, with one notice; a NaN is not stored.
TEST(CalibrationImport, LimitedValues) {
    const struct {
        const char* line; // replacing the line of its key in an ordinary text calibration
        int slot;
        float value;
        const char* notices; // "Out-of-range calibration value " left out
    } lines[] = {
        {"sens 1e38 0 0 0", kSlotCapGainBase, 1.0f, "sens 1e+38 limited to 12 dB"},
        {"EQ 1 1 40 1", kSlotEQGainBase + 2, 1.0f, "EQ 40 limited to 15 dB"},
        // The width then follows from 20 Hz: 500 Hz about it is far beyond 5 octaves.
        {"EQfreq 5 1000 1000 1000", kSlotEQWidthBase, 1.0f,
         "EQfreq 5 limited to 20 Hz\nEQbw 500 limited to 5 octaves"},
        {"EQbw 500 500 -20 500", kSlotEQWidthBase + 2, 0.0f, "EQbw -20 limited to 0 octaves"},
        // W is raised by 3 dB on the way in: the file's W may reach 12 dB.
        {"W 14", kSlotOutputGainBase, 1.0f, "W 14 limited to 12 dB"},
        {"X -inf", kSlotOutputGainBase + 1, 0.0f, "X -inf limited to -15 dB"},
        {"LF 10 300", kSlotLFBoostFreq, lowfreq2parm(250.0f),
         "LF 10 limited to 20 Hz\nLF 300 limited to 250 Hz"},
    };
    const std::string limited = "Out-of-range calibration value ";
    for (const auto& t : lines) {
        SCOPED_TRACE(t.line);
        std::string notices;
        std::istringstream in(t.notices);
        for (std::string notice; std::getline(in, notice);)
            notices += limited + notice + "\n";
        expectCase({t.line, "a.txt", "", {{t.slot, t.value}}, notices}, textWith(t.line));
    }

    // mic1234 with one argument of one message changed: matrix rows are messages 6 to 9 (an
    // argument per capsule after the row), the LF filter message 5, the post-matrix equaliser of
    // channel k message 11 + k (three arguments per band after the channel, then the output gain).
    const struct {
        int message, argument;
        float value;
        float expected; // in the program's slot, or in dB or Hz in the set
        const char* notice;
    } tetra[] = {
        {9, 4, 0.0f, 0.0f, "matrix/row 3 capsule 4 0 limited to -12 dB"},
        {5, 0, 5.0f, 0.0f, "lffilt/par frequency 5 limited to 20 Hz"},
        {5, 2, -40.0f, 0.0f, "lffilt/par gain -40 limited to -15 dB"},
        {11, 3, 1000.0f, 24.0f, "pmfilt/par 0 band 1 gain 1000 limited to 24 dB"},
        {13, 7, 30000.0f, 0.49f * 44100.0f,
         "pmfilt/par 2 band 3 frequency 30000 limited to 21609 Hz"},
        {12, 10, -100.0f, -24.0f, "pmfilt/par 1 output gain -100 limited to -24 dB"},
    };
    for (const auto& t : tetra) {
        SCOPED_TRACE(t.notice);
        std::vector<OscMessage> messages = tetrafile::mic1234Calibration().messages();
        messages[static_cast<size_t>(t.message)].args[static_cast<size_t>(t.argument)].f = t.value;
        const Read read = readOne("a.tetra", text(tetrafile::encode(messages)));
        EXPECT_EQ(read.notices, limited + t.notice + "\n");
        ASSERT_EQ(read.import.calibrations.size(), 1u);
        const CCalibration& c = read.import.calibrations[0];
        const float* v = c.program.values;
        if (t.message >= 11) {
            const CFilterSetDescription::CBands& b = c.filterSet.channels[t.message - 11];
            const int band = (t.argument - 1) / 3;
            EXPECT_EQ(band == 3                   ? b.outputDb
                      : (t.argument - 1) % 3 == 0 ? b.frequency[band]
                                                  : b.gainDb[band],
                      t.expected);
        } else if (t.message == 5) {
            EXPECT_EQ(v[(t.argument == 0 ? kSlotEQFreqBase : kSlotEQGainBase) + 1], t.expected);
        } else {
            EXPECT_EQ(v[kSlotCapGainBase + 4 * (t.argument - 1) + t.message - 6], t.expected);
        }
    }
}

TEST(CalibrationImport, TetraprocFilesCutShortOrOdd) {
    const auto messages = [](const std::function<void(std::vector<OscMessage>&)>& change) {
        std::vector<OscMessage> m = tetrafile::mic1234Calibration().messages();
        change(m);
        return text(tetrafile::encode(m));
    };
    const auto counts = [](std::vector<int> expected) {
        return [expected](const CCalibration& c) {
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(c.filterSet.channels[k].count, expected[static_cast<size_t>(k)]) << k;
        };
    };
    const std::string whole = text(tetrafile::mic1234Calibration().bytes());
    const Case cases[] = {
        // Two channels, a channel and a row outside 0..3, a NaN coefficient: the matrix stays.
        {"incomplete and hostile",
         "a.tetra",
         messages([](std::vector<OscMessage>& m) {
             const std::vector<OscMessage> pm(m.begin() + 11, m.end());
             m.resize(11); // the post-matrix messages go
             OscMessage outside = pm[1], row = m[6];
             outside.args[0] = OscArg::Int(7);
             row.args[0] = OscArg::Int(-1);
             m[7].args[1] = OscArg::Float(std::nanf(""));
             m.insert(m.end(), {pm[0], pm[2], outside, row});
         }),
         {capGain(0, 1, 0.5f), capGain(0, 0, plusMinus122parm(level2db(0.52f)))},
         "Calibration value matrix/row 1 capsule 1 nan is not a usable number, ignored\n",
         counts({3, 0, 3, 0})},
        // Until a version is named, a post-matrix message has no known layout.
        {"no version",
         "a.tetra",
         messages([](std::vector<OscMessage>& m) { m.erase(m.begin()); }),
         {{kSlotPostMatrixFilter, filter2parm(3)}},
         "",
         counts({0, 0, 0, 0})},
        // The matrix first, then version 4: the matrix stays, no set is assigned.
        {"version 4",
         "A4.tetra",
         messages([](std::vector<OscMessage>& m) {
             m.erase(m.begin());
             m.push_back(tetrafile::message("/tetraproc", {OscArg::Int(4)}));
         }),
         {capGain(0, 1, plusMinus122parm(level2db(0.91f))),
          {kSlotLocked, 1.0f},
          {kSlotPostMatrixFilter, 0.0f}},
         "Calibration file has format version 4, which is not read (1 to 3 are); no calibration "
         "after it is read either\n",
         [](const CCalibration& c) {
             EXPECT_EQ(c.filterSet.kind, CFilterSetDescription::Kind::kNone);
             EXPECT_EQ(c.source.postMatrixSet, 0);
         }},
        // An empty file still claims its program and set; a cut one keeps what came before.
        {"empty",
         "Empty.tetra",
         "",
         {{kSlotPostMatrixFilter, filter2parm(3)}},
         "Calibration file holds no message\n",
         [](const CCalibration& c) { EXPECT_STREQ(c.program.name, "User 2"); }},
        {"cut off",
         "Cut.tetra",
         whole.substr(0, whole.size() - 6),
         {capGain(3, 3, plusMinus122parm(level2db(0.89f)))},
         "Calibration file is cut off or malformed after 14 messages; those are read\n",
         counts({3, 3, 3, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectCase(c, c.content);
    }
}

// Each format version, from the committed fixtures (which tetrafile reads whole, see
// tests/tools) and one written here: every message lands where it belongs, without a notice.
TEST(CalibrationImport, EveryMessageOfEachVersion) {
    TetraCalibration version1 = tetrafile::mic1234Calibration(), version2 = version1;
    version1.version = 1;
    version2.version = 2;
    TempDirectory root;
    ASSERT_TRUE(tetrafile::writeFile(root.file("version1.tetra"), version1));
    const std::string fixtures = std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/";
    const std::pair<std::string, TetraCalibration> files[] = {
        {fixtures + "mic1234.tetra", tetrafile::mic1234Calibration()},
        {fixtures + "version2.tetra", version2},
        {root.file("version1.tetra"), version1},
    };
    for (const auto& [path, written] : files) {
        SCOPED_TRACE(path);
        const CCalibrationImport import = importFrom(CCalibrationPaths::file(path));
        EXPECT_TRUE(import.notices.texts().empty());
        ASSERT_EQ(import.calibrations.size(), 1u);
        const float* v = import.calibrations[0].program.values;
        // Locked, a calibration, EQs and LF on, nothing linked, Setup view, LF frequencies 0, no
        // pre-matrix set, and its own post-matrix set.
        for (int slot : {kSlotLocked, kSlotCalibration, kSlotEQsEnabled, kSlotLFEnabled})
            EXPECT_EQ(v[slot], 1.0f) << slot;
        for (int slot : {kSlotEQsLinked, kSlotGainsLinked, kSlotViewMode, kSlotLFCutFreq,
                         kSlotLFBoostFreq, kSlotPreMatrixFilter})
            EXPECT_EQ(v[slot], 0.0f) << slot;
        EXPECT_EQ(v[kSlotPostMatrixFilter], filter2parm(3));
        const float f = written.lfFrequency;
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(v[kSlotEQFreqBase + c], freq2parm(f));
            EXPECT_EQ(v[kSlotEQWidthBase + c],
                      width2parm(static_cast<float>(hz2oct(f, written.lfBandwidth * f))));
            EXPECT_EQ(v[kSlotEQGainBase + c], plusMinus152parm(written.lfGain));
            for (int r = 0; r < 4; ++r)
                EXPECT_EQ(v[kSlotCapGainBase + 4 * c + r],
                          plusMinus122parm(level2db(std::fabs(written.matrix[r][c]))));
        }
        const CFilterSetDescription& set = import.calibrations[0].filterSet;
        EXPECT_EQ(set.kind, CFilterSetDescription::Kind::kEqualisers);
        for (int k = 0; k < 4; ++k) {
            const CFilterSetDescription::CBands& b = set.channels[k];
            ASSERT_EQ(b.count, written.version == 3 ? 3 : 2);
            for (int n = 0; n < b.count; ++n) {
                EXPECT_EQ(b.frequency[n], written.pm[k].band[n][0]);
                EXPECT_EQ(b.width[n], written.pm[k].band[n][1]);
                EXPECT_EQ(b.gainDb[n], written.pm[k].band[n][2]);
            }
            EXPECT_EQ(b.outputDb, written.version == 1 ? 0.0f : written.pm[k].gain);
        }
    }
}

// Which entries become programs, in which order, and the sets they get.
TEST(CalibrationImport, ProgramsAndSetsOfADirectory) {
    TempDirectory root;
    const std::string directory = root.makeDirectory("calibrations");
    // Seven text calibrations for six programs and five sets; a tetraproc one finds no room.
    for (int i = 0; i < 7; ++i)
        root.write("calibrations/cal" + std::to_string(i) + ".TXT", "sens 1 1 1 1\n");
    root.write("calibrations/other.tetra", "not read: the programs are full");
    CCalibrationImport import = importFrom(CCalibrationPaths::only(directory));
    EXPECT_EQ(import.notices.texts(), std::vector<std::string>{});
    ASSERT_EQ(import.calibrations.size(), 6u);
    std::vector<int> sets;
    for (const CCalibration& c : import.calibrations) {
        EXPECT_EQ(std::string(c.program.name).substr(0, 3), "cal");
        sets.push_back(c.source.postMatrixSet);
        EXPECT_EQ(c.program.values[kSlotPostMatrixFilter], filter2parm(sets.back()));
    }
    EXPECT_EQ(sets, (std::vector<int>{3, 4, 5, 6, 7, 0}));

    // Only *.txt, *.TXT and *.tetra files are read.
    const std::string second = root.makeDirectory("second");
    root.write("second/a.Txt", "sens 3 3 3 3\n");
    ASSERT_TRUE(tetrafile::writeFile(second + "/Upper.TETRA", TetraCalibration()));
    ASSERT_TRUE(tetrafile::writeFile(second + "/b.tetra", TetraCalibration()));
    import = importFrom(CCalibrationPaths::only(second));
    EXPECT_EQ(import.notices.texts(), std::vector<std::string>{});
    ASSERT_EQ(import.calibrations.size(), 1u);
    EXPECT_STREQ(import.calibrations[0].program.name, "b");
}

// Where calibrations are looked for: the places the environment gives, in order, and the one
// read. The system-wide directory is a fixed path that only a private mount namespace can provide
// (tests/tools/test_calibrations_command.cpp); here its place in the list is pointed at a stand-in.
TEST(CalibrationPlaces, FromTheEnvironment) {
    // A null value unsets the variable. The places are named by origin, or by their defaults for
    // a HOME of /home/u: system, user, home, local and share.
    const struct {
        const char* what;
        const char* chosen; // XETETRA_CALIBRATIONS
        const char* home;
        const char* dataHome;
        const char* dataDirs;
        const char* expected;
    } cases[] = {
        {"defaults", nullptr, "/home/u", nullptr, nullptr, "system, user, home, local, share"},
        {"empty variables are unset ones", "", "/home/u", "", "",
         "system, user, home, local, share"},
        {"XETETRA_CALIBRATIONS first, trailing slash dropped", "/srv/cal/", "/home/u", nullptr,
         nullptr, "XETETRA_CALIBRATIONS /srv/cal, system, user, home, local, share"},
        {"relative paths are ignored", "cal", "/home/u", "share", "rel:/opt/data/::/usr/share",
         "system, user, home, XDG_DATA_DIRS /opt/data/xetetra/calibrations, share"},
        {"XDG_DATA_HOME replaces its default; a directory is named once", "/d/xetetra/calibrations",
         "/home/u", "/d", "/usr/share:/usr/share",
         "XETETRA_CALIBRATIONS /d/xetetra/calibrations, system, user, share"},
        {"no HOME: no per-user places", nullptr, nullptr, nullptr, "/",
         "system, XDG_DATA_DIRS /xetetra/calibrations"},
    };
    const std::pair<std::string, std::string> defaults[] = {
        {"system-wide /Library/Audio/Plug-Ins/VST/calibrations", "system"},
        {"per-user /home/u/Library/Audio/Plug-Ins/VST/calibrations", "user"},
        {"XDG_DATA_HOME /home/u/.local/share/xetetra/calibrations", "home"},
        {"XDG_DATA_DIRS /usr/local/share/xetetra/calibrations", "local"},
        {"XDG_DATA_DIRS /usr/share/xetetra/calibrations", "share"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnvironment environment;
        const std::pair<const char*, const char*> variables[] = {{"XETETRA_CALIBRATIONS", c.chosen},
                                                                 {"HOME", c.home},
                                                                 {"XDG_DATA_HOME", c.dataHome},
                                                                 {"XDG_DATA_DIRS", c.dataDirs}};
        for (const auto& [name, value] : variables)
            value != nullptr ? environment.set(name, value) : environment.unset(name);
        std::string places;
        for (const CCalibrationPlace& place : CCalibrationPaths::defaults().places) {
            std::string named = std::string(place.originName()) + " " + place.directory;
            for (const auto& d : defaults)
                if (named == d.first) named = d.second;
            places += (places.empty() ? "" : ", ") + named;
        }
        EXPECT_EQ(places, c.expected);
    }
}

TEST(CalibrationPlaces, TheFirstThatExistsIsReadTextThenTetra) {
    TempDirectory root;
    ScopedEnvironment environment;
    environment.set("HOME", root.makeDirectory("home"));
    environment.set("XETETRA_CALIBRATIONS", root.file("chosen"));
    environment.unset("XDG_DATA_HOME");
    environment.set("XDG_DATA_DIRS", root.file("local") + ":" + root.file("share"));
    CCalibrationPaths paths = CCalibrationPaths::defaults();
    for (CCalibrationPlace& place : paths.places)
        if (place.origin == Origin::kSystem) place.directory = root.file("system");
    ASSERT_EQ(paths.places.size(), 6u);

    // No place exists: the notice names them all.
    std::string places;
    for (const CCalibrationPlace& place : paths.places)
        places += (places.empty() ? "" : ", ") + place.directory;
    CCalibrationImport import = importFrom(paths);
    EXPECT_EQ(import.place, -1);
    EXPECT_TRUE(import.calibrations.empty());
    EXPECT_EQ(
        import.notices.texts(),
        std::vector<std::string>{"Calibrations directory not found; looked in " + places +
                                 ". Add calibrations with: xetetra calibrations install FILE"});
    // Places from `first` on exist, made from the last one back; the first of them is read.
    for (size_t first = paths.places.size(); first-- > 0;) {
        SCOPED_TRACE(first);
        // Place k holds a text calibration "Text<k>" and a tetraproc one "Tetra<k>", in that
        // order in the listing or the other: the text one comes first whatever the order.
        const std::string directory = paths.places[first].directory + "/",
                          k = std::to_string(first);
        ASSERT_EQ(std::system(("mkdir -p '" + directory + "'").c_str()), 0);
        ASSERT_TRUE(tetrafile::writeFile(directory + "Tetra" + k + ".tetra",
                                         tetrafile::mic1234Calibration()));
        std::ofstream(directory + "Text" + k + ".txt") << "sens 1 1 1 1\n";
        import = importFrom(paths);
        EXPECT_EQ(import.place, static_cast<int>(first));
        EXPECT_TRUE(import.notices.texts().empty());
        ASSERT_EQ(import.calibrations.size(), 2u);
        const char* const kinds[][2] = {{"Text", ".txt"}, {"Tetra", ".tetra"}};
        for (int i = 0; i < 2; ++i) {
            const CCalibration& calibration = import.calibrations[static_cast<size_t>(i)];
            EXPECT_EQ(calibration.program.name, kinds[i][0] + k);
            EXPECT_EQ(calibration.source.file, directory + kinds[i][0] + k + kinds[i][1]);
            EXPECT_EQ(calibration.source.postMatrixSet, 3 + i);
        }
    }

    // Places beyond what one notice holds are counted, and how to add one is never cut off.
    CCalibrationPaths many;
    for (int i = 0; i < 40; ++i)
        many.places.push_back(
            {root.file("absent/" + std::string(30, 'a' + i % 26)), Origin::kDataDirs});
    const std::vector<std::string> notices = importFrom(many).notices.texts();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_LT(notices[0].size(), static_cast<size_t>(CCalibrationNotices::kMaxLength));
    EXPECT_NE(notices[0].find(many.places[0].directory + ", "), std::string::npos);
    EXPECT_NE(notices[0].find(" more. Add calibrations with: xetetra calibrations install FILE"),
              std::string::npos)
        << notices[0];
}
