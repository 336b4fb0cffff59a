// xetetra response and the help of every subcommand.

#include "calibration/TetraFileWriter.h"
#include "core/XeTetra.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

using namespace tooltest;

namespace {

// Each row: the frequency, then the level in dB and the group delay in ms (NaN for an empty
// field) of each output.
using CsvRow = std::vector<double>;

std::vector<CsvRow> parseCsv(const std::string& text) {
    std::vector<CsvRow> rows;
    const std::vector<std::string> all = lines(text);
    for (size_t r = 1; r < all.size(); ++r) {
        std::stringstream in(all[r] + ",");
        std::vector<double> fields;
        for (std::string field; std::getline(in, field, ',');)
            fields.push_back(field.empty() ? NAN : std::atof(field.c_str()));
        if (fields.size() != 9) return {};
        rows.push_back(fields);
    }
    return rows;
}

// The impulse response of output o of a fresh processor, driven as the response command says:
// 1/4 on each capsule with the signs of that output's matrix row.
std::vector<double> impulseResponse(const std::string& calibrations, int program, int output,
                                    long length) {
    static const float signs[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
    AXeTetra processor(nullptr, CCalibrationPaths::only(calibrations));
    processor.setSampleRate(48000.0f);
    processor.setProgram(program);
    std::vector<std::vector<float>> in(4, std::vector<float>(static_cast<size_t>(length), 0.0f));
    std::vector<std::vector<float>> out = in;
    float* ins[4];
    float* outs[4];
    for (int c = 0; c < 4; ++c) {
        in[c][0] = 0.25f * signs[output][c];
        ins[c] = in[c].data();
        outs[c] = out[c].data();
    }
    processor.processReplacing(ins, outs, static_cast<VstInt32>(length));
    return std::vector<double>(out[output].begin(), out[output].end());
}

} // namespace

// Every subcommand's help, asked for beside a wrong option (--help wins), with its options.
TEST(ToolHelp, EverySubcommandDescribesItsOptions) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"convert"}, {"programs"}, {"response"}, {"generate"}, {"calibrations", "install"}}) {
        const std::string command = args.size() == 1 ? args[0] : args[0] + " " + args[1];
        SCOPED_TRACE(command);
        args.insert(args.end(), {"--no-such-option", "--help", "x"});
        const RunResult help = runTool(args);
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind("Usage: xetetra " + command, 0), 0u) << help.out;
        EXPECT_NE(help.out.find("\nOptions:\n  --"), std::string::npos) << help.out;
    }
}

TEST(ToolResponse, MatchesADirectTransformOfTheImpulseResponseAndPlots) {
    TempDirectory dir;
    const std::string calibrations = dir.makeDirectory("calibrations");
    ASSERT_TRUE(
        tetrafile::writeFile(calibrations + "/mic1234.tetra", tetrafile::mic1234Calibration()));
    // The factory correction set, the calibration's own chain, and the plain matrix of a user
    // program (flat, no delay, W at 1/sqrt(2)).
    for (int program : {0, 2, 3}) {
        SCOPED_TRACE(program);
        const RunResult run = runTool({"response", "--csv", "--program", std::to_string(program),
                                       "--calibrations", calibrations, "-"});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<CsvRow> rows = parseCsv(run.out);
        ASSERT_GT(rows.size(), 100u);
        EXPECT_NEAR(rows.front()[0], 10.0, 1e-6);
        EXPECT_NEAR(rows.back()[0], 24000.0, 1e-3);
        for (int o = 0; o < 4; ++o) {
            const std::vector<double> h = impulseResponse(calibrations, program, o, 48000);
            for (size_t r = 0; r < rows.size(); r += 23) {
                const double f = rows[r][0];
                if (f < 30.0 || f > 16000.0) continue;
                EXPECT_NEAR(rows[r][1 + 2 * o], 20.0 * std::log10(std::abs(dft(h, f, 48000.0))),
                            0.01)
                    << "output " << o << " at " << f << " Hz";
                // Group delay from the slope of the phase, half a hertz each side.
                const double slope =
                    std::arg(dft(h, f + 0.5, 48000.0) / dft(h, f - 0.5, 48000.0)) / (2.0 * M_PI);
                EXPECT_NEAR(rows[r][2 + 2 * o], -1000.0 * slope, 0.02)
                    << "output " << o << " at " << f << " Hz";
            }
        }
    }
    // The output parameters: every output measured through the row that feeds it (end-fire:
    // ACN 3, X, is fed by Z), ambiX's W 3 dB up on FuMa's, the columns named after the channels;
    // the frequency axis follows the rate.
    const RunResult ambix =
        runTool({"response", "--csv", "--program", "3", "--order", "ambix", "--orientation",
                 "endfire", "--rate", "96000", "--calibrations", dir.path(), "-"});
    ASSERT_EQ(ambix.status, 0) << ambix.err;
    EXPECT_EQ(lines(ambix.out)[0].substr(0, 76),
              "frequency_hz,ACN0_db,ACN0_group_delay_ms,ACN1_db,ACN1_group_delay_ms,ACN2_db");
    const std::vector<CsvRow> ambixRows = parseCsv(ambix.out);
    ASSERT_GT(ambixRows.size(), 100u);
    for (const CsvRow& row : ambixRows)
        for (int o = 0; o < 4; ++o)
            EXPECT_NEAR(row[1 + 2 * o], 0.0, 1e-4) << o;
    EXPECT_NEAR(ambixRows.back()[0], 48000.0, 1e-2);

    // A PNG plot.
    const std::string png = dir.file("response.png");
    const RunResult run = runTool({"response", "--calibrations", dir.path(), png});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = readText(png);
    // The signature, then the header chunk: 1200 by 860 pixels.
    EXPECT_EQ(bytes.substr(0, 24),
              std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x04\xb0\0\0\x03\x5c", 24));
    // An existing file stays unless --force; wrong options are refused.
    const RunResult again = runTool({"response", "--calibrations", dir.path(), png});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find(png), std::string::npos);
    EXPECT_EQ(runTool({"response", "--force", "--calibrations", dir.path(), png}).status, 0);
    EXPECT_EQ(runTool({"response", "--rate", "100", dir.file("slow.png")}).status, 2);
}
