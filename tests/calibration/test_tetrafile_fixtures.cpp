// Proves the calibration fixtures valid with the program whose format they copy: tetrafile (Debian
// package tetraproc) converts a short generated recording with each of them. tetrafile exits 0 on a
// truncated file and then uses its built-in defaults, so acceptance alone proves little: each
// fixture is also run with one more message appended, which changes the output only if tetrafile
// read every message before it in step. (How tetrafile's output relates to the plug-in's on the
// same file is measured in tests/tools/.)

#include "calibration/TetraFileWriter.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using tetrafile::Bytes;
using tetrafile::OscArg;
using tetrafile::TetraCalibration;

namespace {

const char* const kTetrafile = "/usr/bin/tetrafile";
constexpr int kFrames = 6000;

uint32_t le(const Bytes& b, size_t at, int bytes) {
    uint32_t value = 0;
    for (int k = bytes - 1; k >= 0; --k)
        value = (value << 8) | b[at + static_cast<size_t>(k)];
    return value;
}

struct Wav {
    int channels = 0, bits = 0;
    Bytes data;
};

Wav parseWav(const Bytes& b) {
    Wav wav;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0) return wav;
    for (size_t at = 12; at + 8 <= b.size();) {
        const size_t size = le(b, at + 4, 4), body = at + 8;
        if (size > b.size() - body) break;
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && size >= 16) {
            wav.channels = static_cast<int>(le(b, body + 2, 2));
            wav.bits = static_cast<int>(le(b, body + 14, 2));
        } else if (std::memcmp(&b[at], "data", 4) == 0) {
            wav.data.assign(b.begin() + static_cast<long>(body),
                            b.begin() + static_cast<long>(body + size));
            break;
        }
        at = body + size + (size & 1u);
    }
    return wav;
}

// 48 kHz, 4 channels, 16 bits: capsule c gets an impulse of 0.5 at frame 1000 (c + 1).
Bytes testRecording() {
    Bytes wav;
    auto put = [&wav](uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k)
            wav.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    const uint32_t dataSize = kFrames * 4 * 2;
    wav = {'R', 'I', 'F', 'F'};
    put(36 + dataSize, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    // fmt size, PCM, channels, rate, byte rate, block align, bits, "data", its size
    const uint32_t fields[][2] = {{16, 4}, {1, 2},  {4, 2},          {48000, 4},   {48000 * 8, 4},
                                  {8, 2},  {16, 2}, {0x61746164, 4}, {dataSize, 4}};
    for (const auto& field : fields)
        put(field[0], static_cast<int>(field[1]));
    const size_t start = wav.size();
    wav.resize(start + dataSize, 0);
    for (size_t c = 0; c < 4; ++c)
        wav[start + (1000 * (c + 1) * 4 + c) * 2 + 1] = 0x40; // 16384
    return wav;
}

class TetrafileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(kTetrafile, X_OK), 0)
            << kTetrafile << " is missing: install the tetraproc package (scripts/install-deps.sh)";
        ASSERT_TRUE(tetrafile::writeBytes(dir.file("in.wav"), testRecording()));
    }

    std::string write(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(tetrafile::writeBytes(dir.file(name), bytes));
        return dir.file(name);
    }

    // tetrafile's exit status; its output in `out`, its messages in `log`.
    int run(const std::string& calibration, Wav& out) {
        const std::string input = dir.file("in.wav"), output = dir.file("out.wav"),
                          logFile = dir.file("log.txt");
        unlink(output.c_str());
        char* argv[] = {const_cast<char*>("tetrafile"), const_cast<char*>(calibration.c_str()),
                        const_cast<char*>(input.c_str()), const_cast<char*>(output.c_str()),
                        nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid;
        int status = 0;
        const bool ran = posix_spawn(&pid, kTetrafile, &actions, nullptr, argv, environ) == 0 &&
                         waitpid(pid, &status, 0) == pid;
        posix_spawn_file_actions_destroy(&actions);
        out = parseWav(tetrafile::readBytes(output));
        const Bytes text = tetrafile::readBytes(logFile);
        log.assign(text.begin(), text.end());
        return ran && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempDirectory dir;
    std::string log;
};

TetraCalibration withVersion(int version) {
    TetraCalibration c = tetrafile::mic1234Calibration();
    c.version = version;
    c.micident = "Mic1234 v" + std::to_string(version);
    return c;
}

const std::pair<const char*, TetraCalibration> kCommitted[] = {
    {"default.tetra", TetraCalibration()},
    {"mic1234.tetra", tetrafile::mic1234Calibration()},
    {"version2.tetra", withVersion(2)},
};

std::string fixturePath(const char* name) {
    return std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/" + name;
}

} // namespace

// XETETRA_WRITE_FIXTURES=1 regenerates the committed fixtures from the writer.
TEST(TetraFileWriter, CommittedFixturesAreWhatTheWriterWrites) {
    const char* regenerate = std::getenv("XETETRA_WRITE_FIXTURES");
    for (const auto& f : kCommitted) {
        if (regenerate != nullptr && std::strcmp(regenerate, "1") == 0) {
            ASSERT_TRUE(tetrafile::writeBytes(fixturePath(f.first), f.second.bytes()));
        }
        EXPECT_EQ(tetrafile::readBytes(fixturePath(f.first)), f.second.bytes()) << f.first;
    }
    // tetraproc's default configuration saves as 724 bytes.
    EXPECT_EQ(TetraCalibration().bytes().size(), 724u);
}

TEST_F(TetrafileTest, EveryFixtureIsReadWholeByTetrafile) {
    std::vector<std::pair<std::string, Bytes>> fixtures;
    for (const auto& f : kCommitted)
        fixtures.emplace_back(fixturePath(f.first), tetrafile::readBytes(fixturePath(f.first)));
    TetraCalibration longNames = tetrafile::mic1234Calibration();
    longNames.copyright = std::string(63, 'c'); // tetraproc keeps 63 characters
    longNames.convolFile = "/usr/share/tetraproc/none.conv";
    longNames.enable = 2;
    for (const TetraCalibration& c : {withVersion(1), longNames})
        fixtures.emplace_back(write(c.micident + ".tetra", c.bytes()), c.bytes());

    // The probe: one more matrix row, which swaps X and Y of the default microphone.
    const Bytes probe =
        tetrafile::message("/matrix/row",
                           {OscArg::Int(1), OscArg::Float(0.866f), OscArg::Float(-0.866f),
                            OscArg::Float(0.866f), OscArg::Float(-0.866f)})
            .bytes();
    for (const auto& fixture : fixtures) {
        SCOPED_TRACE(fixture.first);
        ASSERT_FALSE(fixture.second.empty());
        Wav plain, probed;
        ASSERT_EQ(run(fixture.first, plain), 0) << log;
        EXPECT_EQ(log.find("not understood"), std::string::npos) << log;
        EXPECT_EQ(plain.channels, 4);
        EXPECT_EQ(plain.bits, 24);
        EXPECT_EQ(plain.data.size(), static_cast<size_t>(kFrames) * 4 * 3);
        Bytes withProbe = fixture.second;
        withProbe.insert(withProbe.end(), probe.begin(), probe.end());
        ASSERT_EQ(run(write("probed.tetra", withProbe), probed), 0) << log;
        EXPECT_EQ(probed.data.size(), plain.data.size());
        EXPECT_NE(probed.data, plain.data) << "tetrafile did not reach the end of the file";
    }
}
