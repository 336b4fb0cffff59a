// Values a calibration brings are limited to what their parameters (and a tetraproc set's
// equaliser bands) can express, each limited value with one notice naming the key, the value and
// the file; ordinary calibrations load without a word.

#include "CalibrationDirectory.h"
#include "calibration/TetraFileWriter.h"
#include "dsp/ABMatrix.h"
#include "dsp/ParaEQ3Band.h"
#include "support/SampleCalibrations.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> drainNotices(AXeTetra& processor) {
    std::vector<std::string> notices;
    char text[CNoticeQueue::kMaxNoticeLength];
    int count = 0;
    while (processor.getNoticeQueue()->peek(text, sizeof(text), &count)) {
        for (int i = 0; i < count; ++i)
            notices.push_back(text);
        processor.getNoticeQueue()->dismiss();
    }
    return notices;
}

// An ordinary text calibration with one line replaced.
std::string textWith(const std::string& key, const std::string& line) {
    const char* const lines[][2] = {
        {"sens", "sens 0.1 0.2 0.3 0.4"},
        {"vsens", "vsens 0.1 0.2 0.3 0.4"},
        {"EQ", "EQ 1 1 1 1"},
        {"EQfreq", "EQfreq 1000 1000 1000 1000"},
        {"EQbw", "EQbw 500 500 500 500"},
        {"W", "W 0"},
        {"X", "X 0"},
        {"Y", "Y 0"},
        {"Z", "Z 0"},
        {"LF", "LF 40 120"},
    };
    std::string text;
    for (const auto& l : lines)
        text += (key == l[0] ? line : std::string(l[1])) + "\n";
    return text;
}

const CParaEQ3Band& equaliser(TestXeTetra& processor, int channel) {
    return *dynamic_cast<CParaEQ3Band*>(processor.postMatrixFilters[3][channel]);
}

struct Case {
    const char* file;
    std::string content;
    // The value the program (or the set) holds afterwards.
    std::function<float(TestXeTetra&)> value;
    float expected;
    // What the notices say before ": <path of the file>".
    std::vector<std::string> notices;
};

std::function<float(TestXeTetra&)> slot(int s) {
    return [s](TestXeTetra& p) { return p.programs[2].values[s]; };
}

tetrafile::Bytes tetraWith(const std::function<void(tetrafile::TetraCalibration&)>& change) {
    tetrafile::TetraCalibration c = tetrafile::mic1234Calibration();
    change(c);
    return c.bytes();
}

std::string text(const tetrafile::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(CalibrationValues, OutOfRangeValuesAreLimitedWithOneNoticeEach) {
    using tetrafile::TetraCalibration;
    const std::string limited = "Out-of-range calibration value ";
    const Case cases[] = {
        {"a.txt",
         textWith("sens", "sens 1e38 0 0 0"),
         slot(kSlotCapGainBase),
         1.0f,
         {limited + "sens 1e+38 limited to 12 dB"}},
        {"a.txt",
         textWith("vsens", "vsens 0 -100 0 0"),
         slot(kSlotCapGainBase + 4 + 3),
         0.0f,
         {limited + "vsens -100 limited to -12 dB"}},
        {"a.txt",
         textWith("EQ", "EQ 1 1 40 1"),
         slot(kSlotEQGainBase + 2),
         1.0f,
         {limited + "EQ 40 limited to 15 dB"}},
        // The width then follows from 20 Hz: 500 Hz about it is far beyond 5 octaves.
        {"a.txt",
         textWith("EQfreq", "EQfreq 5 1000 1000 1000"),
         slot(kSlotEQFreqBase),
         0.0f,
         {limited + "EQfreq 5 limited to 20 Hz", limited + "EQbw 500 limited to 5 octaves"}},
        {"a.txt",
         textWith("EQfreq", "EQfreq 1000 1000 1000 1e6"),
         slot(kSlotEQFreqBase + 3),
         freq2parm(20000.0f),
         {limited + "EQfreq 1e+06 limited to 20000 Hz"}},
        {"a.txt",
         textWith("EQbw", "EQbw 500 1e9 500 500"),
         slot(kSlotEQWidthBase + 1),
         1.0f,
         {limited + "EQbw 1e+09 limited to 5 octaves"}},
        {"a.txt",
         textWith("EQbw", "EQbw 500 500 -20 500"),
         slot(kSlotEQWidthBase + 2),
         0.0f,
         {limited + "EQbw -20 limited to 0 octaves"}},
        // W is raised by 3 dB on the way in: the file's W may reach 12 dB.
        {"a.txt",
         textWith("W", "W 14"),
         slot(kSlotOutputGainBase),
         1.0f,
         {limited + "W 14 limited to 12 dB"}},
        {"a.txt",
         textWith("X", "X -inf"),
         slot(kSlotOutputGainBase + 1),
         0.0f,
         {limited + "X -inf limited to -15 dB"}},
        {"a.txt",
         textWith("LF", "LF 10 300"),
         slot(kSlotLFBoostFreq),
         lowfreq2parm(250.0f),
         {limited + "LF 10 limited to 20 Hz", limited + "LF 300 limited to 250 Hz"}},
        {"a.txt",
         textWith("sens", "sens nan 0 0 0"),
         slot(kSlotCapGainBase),
         0.5f,
         {"Calibration value sens nan is not a usable number, ignored"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.matrix[2][1] = 1e38f; })),
         slot(kSlotCapGainBase + 4 + 2),
         1.0f,
         {limited + "matrix/row 2 capsule 2 1e+38 limited to 12 dB"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.matrix[3][3] = 0.0f; })),
         slot(kSlotCapGainBase + 12 + 3),
         0.0f,
         {limited + "matrix/row 3 capsule 4 0 limited to -12 dB"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.lfFrequency = 5.0f; })),
         slot(kSlotEQFreqBase + 1),
         0.0f,
         {limited + "lffilt/par frequency 5 limited to 20 Hz"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.lfGain = -40.0f; })),
         slot(kSlotEQGainBase),
         0.0f,
         {limited + "lffilt/par gain -40 limited to -15 dB"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.pm[0].band[0][2] = 1000.0f; })),
         [](TestXeTetra& p) { return equaliser(p, 0).getBand(0).getGain(); },
         24.0f,
         {limited + "pmfilt/par 0 band 1 gain 1000 limited to 24 dB"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.pm[2].band[2][0] = 30000.0f; })),
         [](TestXeTetra& p) { return equaliser(p, 2).getBand(2).getFrequency(); },
         0.49f * 44100.0f,
         {limited + "pmfilt/par 2 band 3 frequency 30000 limited to 21609 Hz"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.pm[3].band[1][0] = 2.0f; })),
         [](TestXeTetra& p) { return equaliser(p, 3).getBand(1).getFrequency(); },
         10.0f,
         {limited + "pmfilt/par 3 band 2 frequency 2 limited to 10 Hz"}},
        {"a.tetra",
         text(tetraWith([](TetraCalibration& c) { c.pm[1].gain = -100.0f; })),
         [](TestXeTetra& p) { return equaliser(p, 1).getOutputGain(); },
         db2level(-24.0f),
         {limited + "pmfilt/par 1 output gain -100 limited to -24 dB"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 120));
        CalibrationDirectory directory;
        directory.add(c.file, c.content);
        const std::string path = directory.directory + "/" + c.file;
        auto processor = directory.load();
        EXPECT_EQ(c.value(*processor), c.expected);
        std::vector<std::string> expected;
        for (const std::string& notice : c.notices)
            expected.push_back(notice + ": " + path);
        EXPECT_EQ(drainNotices(*processor), expected);
    }

    // Ordinary calibrations, text and tetraproc, load without a notice.
    CalibrationDirectory ordinary;
    ASSERT_TRUE(samplecal::writeSixCalibrations(ordinary.directory));
    auto processor = ordinary.load();
    EXPECT_EQ(drainNotices(*processor), std::vector<std::string>{});
}
