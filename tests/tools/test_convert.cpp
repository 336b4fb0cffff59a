// xetetra convert on generated recordings: the same samples as the plug-in, every input layout,
// every output type, ambiX, latency compensation.

#include "calibration/TetraFileWriter.h"
#include "core/XeTetra.h"
#include "integration/VstHost.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace tooltest;

namespace {

constexpr int kRate = 48000;

// HOME is pointed at a directory of the test's own, holding one text calibration (with IIR
// coefficient files) in the per-user calibrations directory, for the plug-in and the tool alike.
class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* oldHome = std::getenv("HOME");
        hadHome = oldHome != nullptr;
        if (hadHome) savedHome = oldHome;
        setenv("HOME", home.path().c_str(), 1);
        const std::string calibrations = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
        ASSERT_EQ(std::system(("mkdir -p '" + calibrations + "/mic7'").c_str()), 0);
        const std::string fixtures = std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/";
        ASSERT_EQ(std::system(("cp '" + fixtures + "calibration.txt' '" + calibrations +
                               "/mic7.txt' && cp '" + fixtures + "tolvin_lowpass_W48.iir' '" +
                               calibrations + "/mic7/W48' && cp '" + fixtures +
                               "tolvin_lowpass_W48.iir' '" + calibrations + "/mic7/VEL48'")
                                  .c_str()),
                  0);
    }
    void TearDown() override {
        if (hadHome)
            setenv("HOME", savedHome.c_str(), 1);
        else
            unsetenv("HOME");
    }

    // Converts with the options; the run must succeed.
    Sound convert(const std::vector<std::string>& inputs, const std::string& output,
                  std::vector<std::string> options) {
        std::vector<std::string> args{"convert"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.push_back(output);
        last = runTool(args);
        EXPECT_EQ(last.status, 0) << last.err;
        Sound sound = readSound(output);
        EXPECT_TRUE(sound.ok) << output;
        return sound;
    }

    TempDirectory home;
    TempDirectory dir;
    RunResult last;

private:
    bool hadHome = false;
    std::string savedHome;
};

// The plug-in loaded from the shared object, as a host runs it: the input followed by `latency`
// frames of silence, in host-sized blocks.
Channels throughPlugin(const Channels& input, int program,
                       const std::vector<std::pair<int, float>>& settings, int& latency) {
    vsthost::Library library(std::string(XETETRA_BINARY_DIR) + "/XeTetraVST.so");
    EXPECT_TRUE(library.loaded()) << library.loadError();
    vsthost::HostState host;
    vsthost::Plugin plugin(library, &host);
    EXPECT_TRUE(plugin.ok());
    if (!plugin.ok()) return Channels();
    plugin.start(static_cast<float>(kRate), 512);
    plugin.setProgram(program);
    for (const auto& setting : settings)
        plugin.setParameter(setting.first, setting.second);
    latency = plugin.record()->initialDelay;
    Channels padded = input;
    for (auto& channel : padded)
        channel.resize(channel.size() + static_cast<size_t>(latency), 0.0f);
    return plugin.process(padded, std::vector<int>{512, 100, 333});
}

std::string setOption(int index, float value) {
    char text[64];
    std::snprintf(text, sizeof(text), "%d=%.9g", index, static_cast<double>(value));
    return text;
}

} // namespace

TEST_F(ConvertTest, SameSamplesAsThePluginAfterLatencyAlignment) {
    const Channels input = testRecording(20000);
    const std::string in = dir.file("in.wav");
    ASSERT_TRUE(writeSound(in, input, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    struct Case {
        const char* program; // as given to --program
        int number;
        std::vector<std::pair<int, float>> settings;
    };
    const Case cases[] = {
        // LF filter, matrix gains and the 2.3cm correction: a split chain with 1024 of delay.
        {"0", 0, {}},
        {"1.47cm", 1, {}},
        // The text calibration: LF, capsule equalisers and its IIR post-matrix set.
        {"mic7", 2, {}},
        // The factory program with its correction switched off: no delay.
        {"0", 0, {{kPostMatrixFilter, filter2parm(0)}}},
        // A user program with equalisers and gains set one by one.
        {"User 3",
         3,
         {{kEQsEnabled, 1.0f},
          {kCapsuleBase + kCapEQFreq, 0.4f},
          {kCapsuleBase + kCapEQGain, 0.8f},
          {kCapsuleBase + kParamsPerCapsule * 2 + kCapOutGain + 1, 0.3f},
          {kOutputGainBase + 3, 0.7f},
          {kPostMatrixFilter, filter2parm(1)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        std::vector<std::string> options{"--force", "--bits",    "float",  "--block",
                                         "1000",    "--program", c.program};
        for (const auto& setting : c.settings) {
            options.push_back("--set");
            options.push_back(setOption(setting.first, setting.second));
        }
        const Sound tool = convert({in}, dir.file("out.wav"), options);
        int latency = -1;
        const Channels plugin = throughPlugin(input, c.number, c.settings, latency);
        ASSERT_EQ(plugin.size(), 4u);
        ASSERT_EQ(tool.frames(), input[0].size());
        EXPECT_NE(last.out.find("latency " + std::to_string(latency) + " samples"),
                  std::string::npos)
            << last.out;
        size_t mismatches = 0;
        for (int k = 0; k < 4; ++k)
            for (size_t i = 0; i < tool.frames(); ++i)
                if (tool.channels[k][i] != plugin[k][i + static_cast<size_t>(latency)])
                    ++mismatches;
        EXPECT_EQ(mismatches, 0u) << "latency " << latency;
    }
}

TEST_F(ConvertTest, TetraprocCalibrationGivesTheProcessorsSamples) {
    const std::string calibrations = dir.makeDirectory("calibrations");
    ASSERT_TRUE(
        tetrafile::writeFile(calibrations + "/mic1234.tetra", tetrafile::mic1234Calibration()));
    const Channels input = testRecording(12000);
    ASSERT_TRUE(writeSound(dir.file("in.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Sound tool =
        convert({dir.file("in.wav")}, dir.file("out.wav"),
                {"--bits", "float", "--calibrations", calibrations, "--program", "mic1234"});

    // The processor itself, in one block.
    AXeTetra processor(nullptr, CCalibrationPaths::only(calibrations));
    processor.setSampleRate(static_cast<float>(kRate));
    processor.setProgram(2);
    ASSERT_EQ(processor.GetPostMatrixLatency(), 0);
    Channels out = input;
    float* in[4];
    float* outs[4];
    for (int k = 0; k < 4; ++k) {
        in[k] = const_cast<float*>(input[k].data());
        outs[k] = out[k].data();
    }
    processor.processReplacing(in, outs, static_cast<VstInt32>(input[0].size()));
    ASSERT_EQ(tool.frames(), input[0].size());
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(tool.channels[k], out[k]) << "output " << k;
}

TEST_F(ConvertTest, EveryInputLayoutGivesTheSameOutput) {
    // The same 24-bit samples as one 4-channel file, two stereo files and four mono files, in
    // three different containers.
    const Channels input = testRecording(9000);
    ASSERT_TRUE(writeSound(dir.file("four.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    ASSERT_TRUE(writeSound(dir.file("a.caf"), {input[0], input[1]}, kRate,
                           SF_FORMAT_CAF | SF_FORMAT_PCM_24));
    ASSERT_TRUE(writeSound(dir.file("b.caf"), {input[2], input[3]}, kRate,
                           SF_FORMAT_CAF | SF_FORMAT_PCM_24));
    std::vector<std::string> monos;
    for (int k = 0; k < 4; ++k) {
        monos.push_back(dir.file("capsule" + std::to_string(k + 1) + ".flac"));
        ASSERT_TRUE(writeSound(monos.back(), {input[k]}, kRate, SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
    }
    const std::vector<std::string> options{"--bits", "float"};
    const Sound one = convert({dir.file("four.wav")}, dir.file("one.wav"), options);
    const Sound two = convert({dir.file("a.caf"), dir.file("b.caf")}, dir.file("two.wav"), options);
    const Sound four = convert(monos, dir.file("four-out.wav"), options);
    ASSERT_EQ(one.frames(), 9000u);
    EXPECT_EQ(two.channels, one.channels);
    EXPECT_EQ(four.channels, one.channels);

    // Which file is which capsule: an impulse in one capsule alone, through the plain matrix of
    // a user program (every gain 0 dB), comes out with that capsule's column of signs:
    // W 1/sqrt(2), X + + - -, Y + - + -, Z + - - +.
    const int signs[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
    for (int capsule = 0; capsule < 4; ++capsule) {
        SCOPED_TRACE(capsule);
        Channels impulse(4, std::vector<float>(100, 0.0f));
        impulse[capsule][40] = 0.5f;
        for (int k = 0; k < 4; ++k)
            ASSERT_TRUE(
                writeSound(monos[k], {impulse[k]}, kRate, SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
        ASSERT_TRUE(writeSound(dir.file("a.caf"), {impulse[0], impulse[1]}, kRate,
                               SF_FORMAT_CAF | SF_FORMAT_PCM_24));
        ASSERT_TRUE(writeSound(dir.file("b.caf"), {impulse[2], impulse[3]}, kRate,
                               SF_FORMAT_CAF | SF_FORMAT_PCM_24));
        const std::vector<std::string> plain{"--force", "--bits", "float", "--program", "3"};
        for (const Sound& out :
             {convert(monos, dir.file("m.wav"), plain),
              convert({dir.file("a.caf"), dir.file("b.caf")}, dir.file("s.wav"), plain)}) {
            ASSERT_EQ(out.frames(), 100u);
            EXPECT_NEAR(out.channels[0][40], 0.5 / std::sqrt(2.0), 1e-6);
            for (int o = 1; o < 4; ++o)
                EXPECT_NEAR(out.channels[o][40], 0.5 * signs[o][capsule], 1e-6) << "output " << o;
        }
    }
}

TEST_F(ConvertTest, EveryOutputTypeAndSampleFormat) {
    const Channels input = testRecording(6000);
    const std::string in = dir.file("in.wav");
    ASSERT_TRUE(writeSound(in, input, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Sound reference = convert({in}, dir.file("reference.w64"), {"--bits", "float"});
    ASSERT_EQ(reference.info.format, SF_FORMAT_W64 | SF_FORMAT_FLOAT);

    struct Type {
        const char* name;
        int major;
    };
    const Type types[] = {{"wav", SF_FORMAT_WAV},
                          {"amb", SF_FORMAT_WAVEX},
                          {"caf", SF_FORMAT_CAF},
                          {"w64", SF_FORMAT_W64},
                          {"flac", SF_FORMAT_FLAC}};
    struct Bits {
        const char* name;
        int format;
        double step; // one quantisation step
    };
    const Bits bits[] = {{"16", SF_FORMAT_PCM_16, 1.0 / 32768.0},
                         {"24", SF_FORMAT_PCM_24, 1.0 / 8388608.0},
                         {"32", SF_FORMAT_PCM_32, 1.0 / 2147483648.0},
                         {"float", SF_FORMAT_FLOAT, 0.0}};
    for (const Type& type : types)
        for (const Bits& b : bits) {
            SCOPED_TRACE(std::string(type.name) + " " + b.name);
            const bool flacCannot = type.major == SF_FORMAT_FLAC &&
                                    (b.format == SF_FORMAT_PCM_32 || b.format == SF_FORMAT_FLOAT);
            const std::string out = dir.file(std::string("out.") + type.name);
            const RunResult run = runTool({"convert", "--force", "--bits", b.name, in, out});
            if (flacCannot) {
                EXPECT_EQ(run.status, 2) << run.err;
                continue;
            }
            ASSERT_EQ(run.status, 0) << run.err;
            const Sound sound = readSound(out);
            ASSERT_TRUE(sound.ok);
            EXPECT_EQ(sound.info.format, type.major | b.format);
            EXPECT_EQ(sound.info.channels, 4);
            EXPECT_EQ(sound.info.samplerate, kRate);
            ASSERT_EQ(sound.frames(), 6000u);
            // Only the amb file is marked as B-format.
            EXPECT_EQ(sound.ambisonic == SF_AMBISONIC_B_FORMAT, type.major == SF_FORMAT_WAVEX);
            double worst = 0.0;
            for (int k = 0; k < 4; ++k)
                for (size_t i = 0; i < sound.frames(); ++i)
                    worst = std::fmax(worst, std::fabs(static_cast<double>(sound.channels[k][i]) -
                                                       reference.channels[k][i]));
            EXPECT_LE(worst, b.step + 1e-9);
        }

    // --type wins over the name; without --bits a 16-bit input gives 16 bits, and a float
    // input a 24-bit flac.
    ASSERT_TRUE(writeSound(dir.file("in16.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    EXPECT_EQ(convert({in}, dir.file("named.dat"), {"--type", "caf"}).info.format,
              SF_FORMAT_CAF | SF_FORMAT_FLOAT);
    EXPECT_EQ(convert({dir.file("in16.wav")}, dir.file("o16.wav"), {}).info.format,
              SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(convert({in}, dir.file("o.flac"), {}).info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
}

TEST_F(ConvertTest, IntegerOutputsClipAndCountWhatWasClipped) {
    // Output gains of +15 dB drive the louder parts of the recording past full scale.
    const Channels input = testRecording(6000);
    ASSERT_TRUE(writeSound(dir.file("in.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::vector<std::string> loud{"--force", "--program", "3"};
    for (int k = 0; k < 4; ++k) {
        loud.push_back("--set");
        loud.push_back(setOption(kOutputGainBase + k, 1.0f));
    }
    std::vector<std::string> asFloat = loud, as16 = loud;
    asFloat.insert(asFloat.end(), {"--bits", "float"});
    as16.insert(as16.end(), {"--bits", "16"});
    const Sound reference = convert({dir.file("in.wav")}, dir.file("float.wav"), asFloat);
    EXPECT_EQ(last.err.find("clipped"), std::string::npos) << "float output does not clip";
    long long beyond = 0;
    for (const auto& channel : reference.channels)
        for (float v : channel)
            beyond += std::fabs(v) > 1.0f ? 1 : 0;
    ASSERT_GT(beyond, 100);

    const Sound clipped = convert({dir.file("in.wav")}, dir.file("16.wav"), as16);
    EXPECT_NE(last.err.find("xetetra: warning: " + dir.file("16.wav") + ": " +
                            std::to_string(beyond) + " samples clipped"),
              std::string::npos)
        << last.err;
    // Held at full scale, never wrapped around to the other sign.
    for (int k = 0; k < 4; ++k)
        for (size_t i = 0; i < clipped.frames(); ++i) {
            const float ref = reference.channels[k][i];
            const float got = clipped.channels[k][i];
            if (ref > 1.0f) {
                EXPECT_GE(got, 32766.0f / 32768.0f);
            } else if (ref < -1.0f) {
                EXPECT_EQ(got, -1.0f);
            } else {
                EXPECT_NEAR(got, ref, 1.0 / 32768.0);
            }
        }
}

TEST_F(ConvertTest, AmbixOrderAndWeights) {
    const Channels input = testRecording(8000);
    ASSERT_TRUE(writeSound(dir.file("in.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Sound fuma =
        convert({dir.file("in.wav")}, dir.file("fuma.wav"), {"--bits", "float", "--order", "fuma"});
    const Sound ambix = convert({dir.file("in.wav")}, dir.file("ambix.caf"),
                                {"--bits", "float", "--order", "ambix"});
    EXPECT_NE(last.out.find("ambiX (W Y Z X, SN3D)"), std::string::npos) << last.out;
    ASSERT_EQ(ambix.frames(), fuma.frames());
    // ACN 0..3 are W, Y, Z, X; SN3D W is FuMa W raised by 3 dB, X, Y and Z are the same.
    const float sqrt2 = static_cast<float>(std::sqrt(2.0));
    double energyW = 0.0, energyAmbixW = 0.0;
    for (size_t i = 0; i < fuma.frames(); ++i) {
        EXPECT_EQ(ambix.channels[0][i], fuma.channels[0][i] * sqrt2);
        EXPECT_EQ(ambix.channels[1][i], fuma.channels[2][i]);
        EXPECT_EQ(ambix.channels[2][i], fuma.channels[3][i]);
        EXPECT_EQ(ambix.channels[3][i], fuma.channels[1][i]);
        energyW += static_cast<double>(fuma.channels[0][i]) * fuma.channels[0][i];
        energyAmbixW += static_cast<double>(ambix.channels[0][i]) * ambix.channels[0][i];
    }
    EXPECT_NEAR(10.0 * std::log10(energyAmbixW / energyW), 3.0103, 1e-3);

    // .amb means FuMa: ambiX in it is refused.
    const RunResult refused =
        runTool({"convert", "--order", "ambix", dir.file("in.wav"), dir.file("out.amb")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_FALSE(readSound(dir.file("out.amb")).ok);
}

TEST_F(ConvertTest, LatencyCompensationPutsAnImpulseAtItsInputPosition) {
    struct Case {
        size_t frames;
        size_t at;
    };
    // Mid-file, close to the end (only the flushed tail brings it out) and in a file shorter
    // than the correction filter's delay.
    const Case cases[] = {{8000, 3000}, {8000, 7990}, {300, 100}};
    for (const char* program : {"0", "1", "3"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string("program ") + program + " impulse at " + std::to_string(c.at) +
                         " of " + std::to_string(c.frames));
            Channels impulse(4, std::vector<float>(c.frames, 0.0f));
            for (auto& channel : impulse)
                channel[c.at] = 0.5f;
            ASSERT_TRUE(
                writeSound(dir.file("in.wav"), impulse, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
            const Sound out =
                convert({dir.file("in.wav")}, dir.file("out.wav"),
                        {"--force", "--bits", "float", "--program", program, "--block", "777"});
            ASSERT_EQ(out.frames(), c.frames);
            size_t peak = 0;
            for (size_t i = 0; i < out.frames(); ++i)
                if (std::fabs(out.channels[0][i]) > std::fabs(out.channels[0][peak])) peak = i;
            EXPECT_EQ(peak, c.at);
        }
    }

    // An empty recording gives an empty file.
    ASSERT_TRUE(
        writeSound(dir.file("empty.wav"), Channels(4), kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Sound empty = convert({dir.file("empty.wav")}, dir.file("empty-out.wav"), {});
    EXPECT_EQ(empty.info.frames, 0);
    EXPECT_EQ(empty.info.channels, 4);
}

TEST_F(ConvertTest, ResultDoesNotDependOnBlockSize) {
    const Channels input = testRecording(5000);
    ASSERT_TRUE(writeSound(dir.file("in.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Sound reference = convert({dir.file("in.wav")}, dir.file("ref.wav"), {"--bits", "float"});
    for (const char* block : {"1", "64", "1024", "1048576"}) {
        SCOPED_TRACE(block);
        const Sound out = convert({dir.file("in.wav")}, dir.file("out.wav"),
                                  {"--force", "--bits", "float", "--block", block});
        EXPECT_EQ(out.channels, reference.channels);
    }
}

TEST_F(ConvertTest, SummaryReportsWhatWasWritten) {
    const Channels input = testRecording(24000);
    ASSERT_TRUE(writeSound(dir.file("in.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const Sound out = convert({dir.file("in.wav")}, dir.file("out.wav"), {"--bits", "float"});
    // Standard error is no terminal here: no progress bar.
    EXPECT_EQ(last.err.find('\r'), std::string::npos);
    EXPECT_NE(last.out.find("0.500 s at 48000 Hz, wav float, FuMa (W X Y Z)"), std::string::npos)
        << last.out;
    EXPECT_NE(last.out.find("program 0 \"Ambrel - uncalibrated\", post-matrix set \"2.3cm\""),
              std::string::npos)
        << last.out;
    EXPECT_NE(last.out.find("x real time"), std::string::npos);
    EXPECT_EQ(last.out.find("orientation"), std::string::npos);
    const char* const names[4] = {"W", "X", "Y", "Z"};
    for (int k = 0; k < 4; ++k) {
        double peak = 0.0;
        for (float v : out.channels[k])
            peak = std::fmax(peak, std::fabs(v));
        const std::string key = std::string("  ") + names[k] + " ";
        const size_t at = last.out.find(key, last.out.find("peak:"));
        ASSERT_NE(at, std::string::npos) << last.out;
        EXPECT_NEAR(std::atof(last.out.c_str() + at + key.size()), 20.0 * std::log10(peak), 0.051)
            << names[k];
    }
    // --quiet: nothing on standard output.
    convert({dir.file("in.wav")}, dir.file("quiet.wav"), {"--quiet"});
    EXPECT_EQ(last.out, "");
}
