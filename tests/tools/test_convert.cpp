// xetetra convert on generated recordings: the same samples as the plug-in (output parameters
// included), every input layout, every output type, latency compensation.

#include "core/XeTetra.h"
#include "integration/VstHost.h"
#include "support/ScopedEnvironment.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace tooltest;

namespace {

constexpr int kRate = 48000;

std::string setOption(int index, float value) {
    char text[64];
    std::snprintf(text, sizeof(text), "%d=%.9g", index, static_cast<double>(value));
    return text;
}

// HOME is pointed at a directory of the test's own, holding one text calibration (with IIR
// coefficient files) in the per-user calibrations directory, for the plug-in and the tool alike.
class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        environment.set("HOME", home.path());
        library =
            std::make_unique<vsthost::Library>(std::string(XETETRA_BINARY_DIR) + "/XeTetraVST.so");
        ASSERT_TRUE(library->loaded()) << library->loadError();
        const std::string cal = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
        const std::string fix = std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/";
        const std::string iir = "'" + fix + "tolvin_lowpass_W48.iir' '" + cal;
        ASSERT_EQ(
            std::system(("mkdir -p '" + cal + "/mic7' && cp '" + fix + "calibration.txt' '" + cal +
                         "/mic7.txt' && cp " + iir + "/mic7/W48' && cp " + iir + "/mic7/VEL48'")
                            .c_str()),
            0);
        in = dir.file("in.wav");
    }
    // Converts with the options; the run must succeed.
    Sound convert(const std::vector<std::string>& inputs, const std::string& output,
                  const std::vector<std::string>& options) {
        std::vector<std::string> args{"convert", "--force"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.push_back(output);
        last = runTool(args);
        EXPECT_EQ(last.status, 0) << last.err;
        Sound sound = readSound(output);
        EXPECT_TRUE(sound.ok) << output;
        return sound;
    }

    // The tool with the options, against the plug-in loaded from the shared object and set up
    // by `configure` as a host runs it, in host-sized blocks: the same samples after the latency
    // the tool reports, and its summary holds `summary`.
    void expectSameAsPlugin(Channels input, std::vector<std::string> options,
                            const std::function<void(vsthost::Plugin&)>& configure,
                            const std::string& summary = "") {
        options.insert(options.begin(), {"--bits", "float"});
        const Sound tool = convert({in}, dir.file("out.wav"), options);
        vsthost::HostState host;
        vsthost::Plugin plugin(*library, &host);
        ASSERT_TRUE(plugin.ok());
        plugin.start(static_cast<float>(kRate), 512);
        configure(plugin);
        const size_t latency = static_cast<size_t>(plugin.record()->initialDelay);
        for (auto& channel : input)
            channel.resize(channel.size() + latency, 0.0f);
        const Channels output = plugin.process(input, std::vector<int>{512, 100, 333});
        EXPECT_NE(last.out.find("latency " + std::to_string(latency) + " samples"),
                  std::string::npos)
            << last.out;
        EXPECT_NE(last.out.find(summary), std::string::npos) << last.out;
        ASSERT_EQ(tool.channels.size(), 4u);
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE(tool.channels[k] ==
                        std::vector<float>(output[k].begin() + latency, output[k].end()))
                << "output " << k << ", latency " << latency;
    }

    ScopedEnvironment environment;
    TempDirectory home;
    TempDirectory dir;
    std::string in;
    RunResult last;
    std::unique_ptr<vsthost::Library> library;
};

} // namespace

// In blocks of any size, the same samples as the plug-in's, its output parameters included.
TEST_F(ConvertTest, SameSamplesAsThePluginAfterLatencyAlignment) {
    const Channels input = testRecording(20000);
    ASSERT_TRUE(writeSound(in, input));
    struct Case {
        const char* program; // as given to --program
        int number;
        const char* block;
        std::vector<std::pair<int, float>> settings;
        // The output options, which are the plug-in's parameters 46 to 50 (in `settings`).
        std::vector<std::string> outputOptions;
    };
    const Case cases[] = {
        // LF filter, matrix gains and the 2.3cm correction: a split chain with 1024 of delay.
        {"0", 0, "1", {}, {}},
        // A user program with equalisers and gains set one by one, and the output parameters
        // after its split chain.
        {"User 3",
         3,
         "1000",
         {{kEQsEnabled, 1.0f},
          {kCapsuleBase + kCapEQFreq, 0.4f},
          {kCapsuleBase + kCapEQGain, 0.8f},
          {kCapsuleBase + kParamsPerCapsule * 2 + kCapOutGain + 1, 0.3f},
          {kOutputGainBase + 3, 0.7f},
          {kPostMatrixFilter, filter2parm(1)},
          {kOutputOrder, 1.0f},
          {kOrientation, 1.0f},
          {kInvertX + 1, 1.0f}},
         {"--order", "ambix", "--orientation", "endfire", "--invert", "y"}},
        // The text calibration (LF, capsule equalisers, its IIR post-matrix set) and the output
        // parameters after it.
        {"mic7",
         2,
         "64",
         {{kOrientation, 0.5f}, {kInvertX, 1.0f}, {kInvertX + 2, 1.0f}},
         {"--orientation", "inverted", "--invert", "xz"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " in blocks of " + c.block);
        std::vector<std::string> options{"--block", c.block, "--program", c.program};
        for (const auto& setting : c.settings)
            if (setting.first < kOutputOrder)
                options.insert(options.end(), {"--set", setOption(setting.first, setting.second)});
        options.insert(options.end(), c.outputOptions.begin(), c.outputOptions.end());
        expectSameAsPlugin(input, options, [&c](vsthost::Plugin& plugin) {
            plugin.setProgram(c.number);
            for (const auto& setting : c.settings)
                plugin.setParameter(setting.first, setting.second);
        });
    }
    // Shorter than the correction's delay, and empty: the flushed tail alone, and nothing.
    for (size_t frames : {300, 0}) {
        const Channels brief = testRecording(frames);
        ASSERT_TRUE(writeSound(in, brief));
        expectSameAsPlugin(brief, {"--program", "0", "--block", "1048576"},
                           [](vsthost::Plugin& plugin) { plugin.setProgram(0); });
    }
}

TEST_F(ConvertTest, EveryInputLayoutGivesTheSameOutput) {
    // The same 24-bit samples as one 4-channel file, two stereo files (capsules 1-2, 3-4) and
    // four mono files, in three containers; every capsule carries a different signal.
    const Channels input = testRecording(9000);
    ASSERT_TRUE(writeSound(dir.file("four.wav"), input, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    const std::vector<std::string> stereo{dir.file("a.caf"), dir.file("b.caf")};
    for (int k = 0; k < 2; ++k)
        ASSERT_TRUE(writeSound(stereo[k], {input[2 * k], input[2 * k + 1]}, kRate,
                               SF_FORMAT_CAF | SF_FORMAT_PCM_24));
    std::vector<std::string> monos;
    for (int k = 0; k < 4; ++k) {
        monos.push_back(dir.file("capsule" + std::to_string(k + 1) + ".flac"));
        ASSERT_TRUE(writeSound(monos.back(), {input[k]}, kRate, SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
    }
    const Sound one = convert({dir.file("four.wav")}, dir.file("one.wav"), {"--bits", "float"});
    ASSERT_EQ(one.frames(), 9000u);
    EXPECT_EQ(convert(stereo, dir.file("two.wav"), {"--bits", "float"}).channels, one.channels);
    EXPECT_EQ(convert(monos, dir.file("four-out.wav"), {"--bits", "float"}).channels, one.channels);
}

// Output gains of +15 dB drive the louder parts of the recording past full scale: integer outputs
// hold them at full scale (never wrapped around to the other sign) and count them.
TEST_F(ConvertTest, EveryOutputTypeAndSampleFormat) {
    ASSERT_TRUE(writeSound(in, testRecording(6000)));
    std::vector<std::string> loud{"--program", "3", "--bits", "float"};
    for (int k = 0; k < 4; ++k)
        loud.insert(loud.end(), {"--set", setOption(kOutputGainBase + k, 1.0f)});
    auto with = [loud](const char* bits) mutable {
        loud[3] = bits;
        return loud;
    };
    const Sound reference = convert({in}, dir.file("reference.w64"), with("float"));
    ASSERT_EQ(reference.info.format, SF_FORMAT_W64 | SF_FORMAT_FLOAT);
    long long beyond = 0;
    for (const auto& channel : reference.channels)
        for (float v : channel)
            beyond += std::fabs(v) > 1.0f;
    ASSERT_GT(beyond, 100);
    const struct {
        const char* type;
        const char* bits;
        int format;
        double step; // one quantisation step; 0 for float, which does not clip
    } cases[] = {
        {"wav", "16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0 / 32768.0},
        {"amb", "24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1.0 / 8388608.0},
        {"caf", "32", SF_FORMAT_CAF | SF_FORMAT_PCM_32, 1.0 / 2147483648.0},
        {"amb", "float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 0.0},
        {"flac", "24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1.0 / 8388608.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.bits);
        const std::string output = dir.file(std::string("out.") + c.type);
        const Sound sound = convert({in}, output, with(c.bits));
        ASSERT_EQ(sound.frames(), 6000u);
        EXPECT_EQ(std::make_tuple(sound.info.format, sound.info.channels, sound.info.samplerate),
                  std::make_tuple(c.format, 4, kRate));
        // Only the amb file is marked as B-format.
        EXPECT_EQ(sound.ambisonic == SF_AMBISONIC_B_FORMAT, std::string(c.type) == "amb");
        EXPECT_EQ(last.err, c.step == 0.0
                                ? ""
                                : "xetetra: warning: " + output + ": " + std::to_string(beyond) +
                                      " samples clipped at full scale\n");
        double worst = 0.0;
        for (int k = 0; k < 4; ++k)
            for (size_t i = 0; i < sound.frames(); ++i) {
                const double ref = reference.channels[k][i];
                worst = std::fmax(
                    worst, std::fabs(sound.channels[k][i] -
                                     (c.step == 0.0 ? ref : std::fmax(-1.0, std::fmin(1.0, ref)))));
            }
        EXPECT_LE(worst, c.step + 1e-9);
    }
    // --type wins over the name; without --bits a 16-bit input gives 16 bits, and a float
    // input a 24-bit flac.
    ASSERT_TRUE(writeSound(dir.file("in16.wav"), testRecording(100), kRate,
                           SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    EXPECT_EQ(convert({in}, dir.file("named.dat"), {"--type", "caf"}).info.format,
              SF_FORMAT_CAF | SF_FORMAT_FLOAT);
    EXPECT_EQ(convert({dir.file("in16.wav")}, dir.file("o16.wav"), {}).info.format,
              SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(convert({in}, dir.file("o.flac"), {}).info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
}

// A session's state as a host saved it: the bank (its current program, or another by name), as
// raw bytes or as base64 text, or one program; each gives what the plug-in gives with those
// settings made by hand.
TEST_F(ConvertTest, StateFromAHostGivesThePluginsSamples) {
    const Channels input = testRecording(12000);
    ASSERT_TRUE(writeSound(in, input));
    const auto configure = [](vsthost::Plugin& plugin, int select) {
        plugin.setProgram(5);
        plugin.setProgramName("Close pair");
        plugin.setParameter(kEQsEnabled, 1.0f);
        plugin.setParameter(kCapsuleBase + kCapEQFreq, 0.45f);
        plugin.setParameter(kPostMatrixFilter, filter2parm(1));
        plugin.setProgram(2); // the calibration mic7, with its IIR set
        plugin.setProgramName("Front pair");
        plugin.setParameter(kOutputGainBase + 1, 0.62f);
        plugin.setProgram(select);
    };
    // The state as a host saves it, raw and as the base64 text of a session file.
    vsthost::HostState host;
    for (int index : {0, 1}) {
        vsthost::Plugin plugin(*library, &host);
        plugin.start(static_cast<float>(kRate), 512);
        configure(plugin, 2);
        void* data = nullptr;
        const VstIntPtr size = plugin.dispatch(effGetChunk, index, 0, &data);
        ASSERT_GT(size, 0);
        dir.write(index == 0 ? "bank.xetc" : "program.xetc",
                  std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
    }
    const RunResult base64 = runProgram("/usr/bin/base64", {dir.file("bank.xetc")});
    ASSERT_EQ(base64.status, 0);
    dir.write("bank.txt", base64.out);

    const struct {
        std::vector<std::string> options;
        int program;
        const char* summary;
    } cases[] = {
        {{"--state", dir.file("bank.xetc")},
         2,
         "program 2 \"Front pair\", post-matrix set \"mic7\""},
        {{"--state", dir.file("bank.txt")}, 2, "program 2 \"Front pair\""},
        {{"--state", dir.file("bank.xetc"), "--program", "close pair"},
         5,
         "program 5 \"Close pair\", post-matrix set \"1.47cm\", latency 1024"},
        {{"--state", dir.file("program.xetc")}, 2, "program 0 \"Front pair\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options[1] + (c.options.size() > 2 ? " " + c.options[3] : ""));
        expectSameAsPlugin(
            input, c.options, [&](vsthost::Plugin& plugin) { configure(plugin, c.program); },
            c.summary);
    }

    // A single program is not a bank to choose from (other refusals are in the safety table).
    const RunResult single = runTool({"convert", "--force", "--state", dir.file("program.xetc"),
                                      "--program", "3", in, dir.file("refused.wav")});
    EXPECT_EQ(single.status, 2);
    EXPECT_NE(single.err.find("holds a single program"), std::string::npos) << single.err;
}
