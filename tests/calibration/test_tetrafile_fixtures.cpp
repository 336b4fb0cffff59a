// Proves the calibration fixtures valid with the program whose format they copy: tetrafile (Debian
// package tetraproc) converts a short generated recording with each of them. tetrafile exits 0 on a
// truncated file and then uses its built-in defaults, so acceptance alone proves little: each
// fixture is also run with one more message appended, which changes the output only if tetrafile
// read every message before it in step, and the matrix tetrafile applies is measured against the
// fixture's rows.

#include "calibration/TetraFileWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using tetrafile::Bytes;
using tetrafile::OscArg;
using tetrafile::TetraCalibration;

namespace {

const char* const kTetrafile = "/usr/bin/tetrafile";
constexpr int kRate = 48000;
constexpr int kFrames = 6000;

struct WavInfo {
    bool valid = false;
    int format = 0; // 1 PCM, 3 float, 0xFFFE extensible
    int channels = 0;
    int rate = 0;
    int bits = 0;
    int subFormat = 0; // of an extensible file: the GUID's first 16 bits, and its second field
    int guidData2 = 0; // (0x0000 for the plain formats, 0x0721 for B-format)
    Bytes data;
};

uint32_t le32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

WavInfo parseWav(const Bytes& b) {
    WavInfo info;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return info;
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = le32(b, at + 4);
        const size_t body = at + 8;
        if (size > b.size() - body) return info;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            info.format = le16(b, body);
            info.channels = le16(b, body + 2);
            info.rate = static_cast<int>(le32(b, body + 4));
            info.bits = le16(b, body + 14);
            if (info.format == 0xFFFE && size >= 40) {
                info.subFormat = le16(b, body + 24);
                info.guidData2 = le16(b, body + 28);
            }
            haveFormat = true;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
            info.data.assign(b.begin() + static_cast<long>(body),
                             b.begin() + static_cast<long>(body + size));
            info.valid = haveFormat;
            return info;
        }
        at = body + size + (size & 1u);
    }
    return info;
}

// A 48 kHz, 4-channel, 16-bit recording: capsule c gets an impulse of 0.5 at frame 1000 (c + 1),
// silence elsewhere.
Bytes testRecording() {
    Bytes data(static_cast<size_t>(kFrames) * 4 * 2, 0);
    for (int c = 0; c < 4; ++c) {
        const size_t at = (static_cast<size_t>(1000 * (c + 1)) * 4 + static_cast<size_t>(c)) * 2;
        data[at] = 0x00; // 16384, little-endian
        data[at + 1] = 0x40;
    }
    auto put32 = [](Bytes& b, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    auto put16 = [](Bytes& b, uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    };
    Bytes wav = {'R', 'I', 'F', 'F'};
    put32(wav, static_cast<uint32_t>(36 + data.size()));
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(wav, 16);
    put16(wav, 1);
    put16(wav, 4);
    put32(wav, kRate);
    put32(wav, kRate * 8);
    put16(wav, 8);
    put16(wav, 16);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    put32(wav, static_cast<uint32_t>(data.size()));
    wav.insert(wav.end(), data.begin(), data.end());
    return wav;
}

class TetrafileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(kTetrafile, X_OK), 0)
            << kTetrafile << " is missing: install the tetraproc package (scripts/install-deps.sh)";
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                              "/xetetra_tetrafile_XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
        recording = path("recording.wav");
        ASSERT_TRUE(tetrafile::writeBytes(recording, testRecording()));
    }
    void TearDown() override {
        for (const std::string& p : created)
            unlink(p.c_str());
        if (!dir.empty()) rmdir(dir.c_str());
    }

    std::string path(const std::string& name) {
        const std::string p = dir + "/" + name;
        created.push_back(p);
        return p;
    }

    // Runs tetrafile with the options on the calibration file; answers its exit status and leaves
    // its output in `output`.
    int run(const std::vector<std::string>& options, const std::string& calibration,
            WavInfo& output) {
        const std::string out = path("out.wav");
        const std::string log = path("tetrafile.log");
        unlink(out.c_str());
        std::vector<std::string> args{"tetrafile"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {calibration, recording, out});
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid;
        const int spawned = posix_spawn(&pid, kTetrafile, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return -1;
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return -1;
        output = parseWav(tetrafile::readBytes(out));
        lastLog = tetrafile::readBytes(log);
        if (!WIFEXITED(status)) return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        return WEXITSTATUS(status);
    }

    std::string writeCalibration(const std::string& name, const Bytes& bytes) {
        const std::string p = path(name);
        EXPECT_TRUE(tetrafile::writeBytes(p, bytes));
        return p;
    }

    // Gain from each capsule to each output, read from a float output at the impulses.
    static void measureMatrix(const WavInfo& out, double gains[4][4]) {
        for (int c = 0; c < 4; ++c)
            for (int o = 0; o < 4; ++o) {
                const size_t at = (static_cast<size_t>(1000 * (c + 1)) * 4 + o) * 4;
                float sample = 0.0f;
                if (at + 4 <= out.data.size()) std::memcpy(&sample, out.data.data() + at, 4);
                gains[o][c] = sample / 0.5;
            }
    }

    std::string lastLogText() const { return std::string(lastLog.begin(), lastLog.end()); }

    std::string dir;
    std::string recording;
    std::vector<std::string> created;
    Bytes lastLog;
};

TetraCalibration version2Calibration() {
    TetraCalibration c = tetrafile::mic1234Calibration();
    c.version = 2;
    c.micident = "Mic1234 v2";
    return c;
}

TetraCalibration version1Calibration() {
    TetraCalibration c = tetrafile::mic1234Calibration();
    c.version = 1;
    c.micident = "Mic1234 v1";
    return c;
}

struct CommittedFixture {
    const char* name;
    TetraCalibration (*make)();
};

const CommittedFixture kCommitted[] = {
    {"default.tetra", [] { return TetraCalibration(); }},
    {"mic1234.tetra", tetrafile::mic1234Calibration},
    {"version2.tetra", version2Calibration},
};

std::string fixturePath(const char* name) {
    return std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/" + name;
}

} // namespace

// XETETRA_WRITE_FIXTURES=1 regenerates the committed fixtures from the writer.
TEST(TetraFileWriter, CommittedFixturesAreWhatTheWriterWrites) {
    const char* regenerate = std::getenv("XETETRA_WRITE_FIXTURES");
    for (const CommittedFixture& f : kCommitted) {
        const Bytes expected = f.make().bytes();
        if (regenerate != nullptr && std::strcmp(regenerate, "1") == 0) {
            ASSERT_TRUE(tetrafile::writeBytes(fixturePath(f.name), expected));
        }
        EXPECT_EQ(tetrafile::readBytes(fixturePath(f.name)), expected) << f.name;
    }

    // tetraproc's default configuration saves as 724 bytes; the first message and the size
    // prefix of the second as it writes them.
    const Bytes defaults = TetraCalibration().bytes();
    EXPECT_EQ(defaults.size(), 724u);
    const Bytes head = {0, 0, 0,   20,  '/', 't', 'e', 't', 'r', 'a', 'p', 'r', 'o', 'c',
                        0, 0, ',', 'i', 0,   0,   0,   0,   0,   3,   0,   0,   0,   44};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), defaults.begin()));
    // The last message: "/pmfilt/par" with ",iffffffffff" is 72 bytes after its size.
    const size_t last = defaults.size() - 76;
    EXPECT_EQ((Bytes{defaults[last], defaults[last + 1], defaults[last + 2], defaults[last + 3]}),
              (Bytes{0, 0, 0, 72}));

    // Versions 1 and 2 carry two bands, version 2 with the output gain.
    EXPECT_EQ(version1Calibration().pmMessage(0).typeTags(), ",iffffff");
    EXPECT_EQ(version2Calibration().pmMessage(0).typeTags(), ",ifffffff");
    EXPECT_EQ(TetraCalibration().pmMessage(0).typeTags(), ",iffffffffff");
}

TEST_F(TetrafileTest, EveryFixtureIsReadWholeByTetrafile) {
    std::vector<std::pair<std::string, Bytes>> fixtures;
    for (const CommittedFixture& f : kCommitted)
        fixtures.emplace_back(fixturePath(f.name), tetrafile::readBytes(fixturePath(f.name)));
    fixtures.emplace_back(writeCalibration("version1.tetra", version1Calibration().bytes()),
                          version1Calibration().bytes());
    TetraCalibration longNames = tetrafile::mic1234Calibration();
    longNames.copyright = std::string(63, 'c'); // tetraproc keeps 63 characters
    longNames.convolFile = "/usr/share/tetraproc/none.conv";
    longNames.enable = 2;
    fixtures.emplace_back(writeCalibration("long.tetra", longNames.bytes()), longNames.bytes());

    // The probe: one more matrix row that swaps X and Y of the default microphone.
    const Bytes probe =
        tetrafile::message("/matrix/row",
                           {OscArg::Int(1), OscArg::Float(0.866f), OscArg::Float(-0.866f),
                            OscArg::Float(0.866f), OscArg::Float(-0.866f)})
            .bytes();
    for (const auto& fixture : fixtures) {
        SCOPED_TRACE(fixture.first);
        ASSERT_FALSE(fixture.second.empty());
        WavInfo plain;
        ASSERT_EQ(run({}, fixture.first, plain), 0) << lastLogText();
        // The default output: WAVE-EX with the B-format sub-format, 24 bits, every frame.
        ASSERT_TRUE(plain.valid);
        EXPECT_EQ(plain.format, 0xFFFE);
        EXPECT_EQ(plain.subFormat, 1);
        EXPECT_EQ(plain.guidData2, 0x0721);
        EXPECT_EQ(plain.channels, 4);
        EXPECT_EQ(plain.rate, kRate);
        EXPECT_EQ(plain.bits, 24);
        EXPECT_EQ(plain.data.size(), static_cast<size_t>(kFrames) * 4 * 3);
        EXPECT_EQ(lastLogText().find("not understood"), std::string::npos) << lastLogText();

        Bytes probed = fixture.second;
        probed.insert(probed.end(), probe.begin(), probe.end());
        WavInfo withProbe;
        ASSERT_EQ(run({}, writeCalibration("probed.tetra", probed), withProbe), 0) << lastLogText();
        ASSERT_TRUE(withProbe.valid);
        EXPECT_EQ(withProbe.data.size(), plain.data.size());
        EXPECT_NE(withProbe.data, plain.data) << "tetrafile did not reach the end of the file";
    }
}

TEST_F(TetrafileTest, TetrafileRefusesBrokenFilesAndIgnoresTruncation) {
    // Why acceptance alone proves nothing: a cut file is accepted and converts like the defaults.
    const Bytes mic = tetrafile::mic1234Calibration().bytes();
    WavInfo defaults, truncated, wrongTags, wrongVersion, notFirst;
    ASSERT_EQ(run({}, fixturePath("default.tetra"), defaults), 0);
    ASSERT_EQ(
        run({}, writeCalibration("cut.tetra", Bytes(mic.begin(), mic.begin() + 130)), truncated),
        0);
    EXPECT_EQ(truncated.data, defaults.data);

    // What it refuses: a wrong type tag, a version outside 1..3, a first message other than
    // "/tetraproc".
    std::vector<tetrafile::OscMessage> messages = tetrafile::mic1234Calibration().messages();
    messages[6].tagsOverride = ",iiiii";
    EXPECT_NE(run({}, writeCalibration("tags.tetra", tetrafile::encode(messages)), wrongTags), 0);
    TetraCalibration v4;
    v4.version = 4;
    EXPECT_NE(run({}, writeCalibration("v4.tetra", v4.bytes()), wrongVersion), 0);
    EXPECT_NE(lastLogText().find("wrong version"), std::string::npos);
    messages = TetraCalibration().messages();
    ASSERT_TRUE(tetrafile::moveMessage(messages, "/tetraproc", 1));
    EXPECT_NE(run({}, writeCalibration("order.tetra", tetrafile::encode(messages)), notFirst), 0);
}

TEST_F(TetrafileTest, TetrafileAppliesTheFixtureMatrix) {
    // With only the matrix enabled the impulse peaks are the matrix (less 0.04 % of a DC blocker):
    // FuMa takes W 3 dB down, X, Y and Z as the semi-normalised rows.
    for (TetraCalibration c : {TetraCalibration(), tetrafile::mic1234Calibration()}) {
        c.enable = 2;
        WavInfo out;
        ASSERT_EQ(run({"--wav", "--float"}, writeCalibration("m.tetra", c.bytes()), out), 0);
        ASSERT_TRUE(out.valid);
        ASSERT_EQ(out.channels, 4);
        ASSERT_EQ(out.bits, 32);
        double gains[4][4];
        measureMatrix(out, gains);
        for (int o = 0; o < 4; ++o)
            for (int k = 0; k < 4; ++k) {
                const double expected = c.matrix[o][k] * (o == 0 ? std::sqrt(0.5) : 1.0);
                EXPECT_NEAR(gains[o][k], expected, 2e-3) << "output " << o << " capsule " << k;
            }
    }

    // The committed mic1234 fixture also enables its low-frequency and post-matrix filters: its
    // output differs from the matrix alone.
    TetraCalibration matrixOnly = tetrafile::mic1234Calibration();
    matrixOnly.enable = 2;
    WavInfo filtered, plain;
    ASSERT_EQ(run({"--wav", "--float"}, fixturePath("mic1234.tetra"), filtered), 0);
    ASSERT_EQ(run({"--wav", "--float"}, writeCalibration("plain.tetra", matrixOnly.bytes()), plain),
              0);
    EXPECT_NE(filtered.data, plain.data);
}

// How tetrafile's orientation options change B-format, measured on the default calibration:
// --invx, --invy and --invz negate X, Y and Z; --endf turns the microphone from pointing up to
// pointing forward: X takes Z, Z takes -X, W and Y stay; the inversions apply after that turn.
// --sn3d raises W by 3 dB to the semi-normalised row; --n3d also raises X, Y, Z by sqrt(3).
TEST_F(TetrafileTest, OrientationAndNormalisationOptions) {
    WavInfo out;
    double plain[4][4];
    ASSERT_EQ(run({"--wav", "--float"}, fixturePath("default.tetra"), out), 0);
    measureMatrix(out, plain);

    struct Case {
        std::vector<std::string> options;
        // Output o is source[o] of the plain outputs times sign[o] times scale[o].
        int source[4];
        double sign[4];
        double scale[4];
    };
    const double r2 = std::sqrt(2.0), r3 = std::sqrt(3.0);
    const Case cases[] = {
        {{"--invx"}, {0, 1, 2, 3}, {1, -1, 1, 1}, {1, 1, 1, 1}},
        {{"--invy"}, {0, 1, 2, 3}, {1, 1, -1, 1}, {1, 1, 1, 1}},
        {{"--invz"}, {0, 1, 2, 3}, {1, 1, 1, -1}, {1, 1, 1, 1}},
        {{"--endf"}, {0, 3, 2, 1}, {1, 1, 1, -1}, {1, 1, 1, 1}},
        {{"--endf", "--invx"}, {0, 3, 2, 1}, {1, -1, 1, -1}, {1, 1, 1, 1}},
        {{"--endf", "--invz"}, {0, 3, 2, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}},
        {{"--sn3d"}, {0, 1, 2, 3}, {1, 1, 1, 1}, {r2, 1, 1, 1}},
        {{"--n3d"}, {0, 1, 2, 3}, {1, 1, 1, 1}, {r2, r3, r3, r3}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> options{"--wav", "--float"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(run(options, fixturePath("default.tetra"), out), 0) << c.options[0];
        double gains[4][4];
        measureMatrix(out, gains);
        for (int o = 0; o < 4; ++o)
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(gains[o][k], plain[c.source[o]][k] * c.sign[o] * c.scale[o], 1e-4)
                    << c.options[0] << (c.options.size() > 1 ? " " + c.options[1] : "")
                    << " output " << o << " capsule " << k;
    }
}
