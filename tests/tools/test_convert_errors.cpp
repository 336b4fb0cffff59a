// xetetra convert refusing what it cannot do: one line naming the file, a non-zero exit (2 for a
// wrong command line), and no file left behind.

#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tooltest;

namespace {

constexpr int kRate = 48000;

class ConvertErrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An empty calibrations directory keeps the processor's own messages off standard error.
        calibrations = dir.makeDirectory("calibrations");
        const Channels recording = testRecording(2000);
        ASSERT_TRUE(
            writeSound(dir.file("in.wav"), recording, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        ASSERT_TRUE(writeSound(dir.file("left.wav"), {recording[0], recording[1]}, kRate,
                               SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        ASSERT_TRUE(writeSound(dir.file("right.wav"), {recording[2], recording[3]}, kRate,
                               SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        for (int k = 0; k < 4; ++k)
            ASSERT_TRUE(writeSound(dir.file("mono" + std::to_string(k) + ".wav"), {recording[k]},
                                   kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        before = listDirectory(dir.path());
    }

    RunResult convert(const std::vector<std::string>& args, long fileSizeLimit = -1) {
        std::vector<std::string> full{"convert", "--calibrations", calibrations};
        full.insert(full.end(), args.begin(), args.end());
        return runTool(full, dir.path(), fileSizeLimit);
    }

    // One line on standard error that starts as expected and names `file`; the directory as
    // it was.
    void expectRefusal(const RunResult& run, int status, const std::string& start,
                       const std::string& file) {
        EXPECT_EQ(run.status, status) << run.err;
        const std::vector<std::string> errorLines = lines(run.err);
        ASSERT_EQ(errorLines.size(), 1u) << run.err;
        EXPECT_EQ(errorLines[0].rfind(start, 0), 0u) << errorLines[0];
        EXPECT_NE(errorLines[0].find(file), std::string::npos) << errorLines[0];
        EXPECT_EQ(run.out, "");
        std::vector<std::string> after = listDirectory(dir.path());
        std::sort(after.begin(), after.end());
        std::vector<std::string> expected = before;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(after, expected) << "a file was left behind or removed";
    }

    TempDirectory dir;
    std::string calibrations;
    std::vector<std::string> before;
};

} // namespace

TEST_F(ConvertErrorTest, WrongCommandLinesAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* named; // what the message must name
    };
    const Case cases[] = {
        {{}, "INPUT"},
        {{"in.wav"}, "INPUT"},
        {{"mono0.wav", "mono1.wav", "mono2.wav", "out.wav"}, "3 inputs"},
        {{"--frobnicate", "in.wav", "out.wav"}, "--frobnicate"},
        {{"-x", "in.wav", "out.wav"}, "-x"},
        {{"in.wav", "out.wav", "--program"}, "--program"},
        {{"--force=yes", "in.wav", "out.wav"}, "--force"},
        {{"--program", "8", "in.wav", "out.wav"}, "8"},
        {{"--program", "-1", "in.wav", "out.wav"}, "-1"},
        {{"--program", "No Such Program", "in.wav", "out.wav"}, "No Such Program"},
        {{"--set", "5", "in.wav", "out.wav"}, "'5'"},
        {{"--set", "=0.5", "in.wav", "out.wav"}, "=0.5"},
        {{"--set", "46=0.5", "in.wav", "out.wav"}, "46"},
        {{"--set", "0=1.5", "in.wav", "out.wav"}, "0=1.5"},
        {{"--set", "0=-0.1", "in.wav", "out.wav"}, "0=-0.1"},
        {{"--set", "0=nan", "in.wav", "out.wav"}, "0=nan"},
        {{"--set", "0=half", "in.wav", "out.wav"}, "0=half"},
        {{"--set", "No Such Parameter=0.5", "in.wav", "out.wav"}, "No Such Parameter"},
        {{"--order", "acn", "in.wav", "out.wav"}, "acn"},
        {{"--type", "ogg", "in.wav", "out.wav"}, "ogg"},
        {{"--bits", "8", "in.wav", "out.wav"}, "8"},
        {{"--block", "0", "in.wav", "out.wav"}, "0"},
        {{"--block", "many", "in.wav", "out.wav"}, "many"},
        {{"--block", "1048577", "in.wav", "out.wav"}, "1048577"},
        {{"--orientation", "sideways", "in.wav", "out.wav"}, "sideways"},
        {{"--invert", "xx", "in.wav", "out.wav"}, "xx"},
        {{"--invert", "xyx", "in.wav", "out.wav"}, "xyx"},
        {{"--invert", "w", "in.wav", "out.wav"}, "'w'"},
        {{"--invert", "", "in.wav", "out.wav"}, "''"},
        {{"in.wav", "out.mp3"}, "out.mp3"},
        {{"in.wav", "out"}, "out"},
        {{"--bits", "float", "in.wav", "out.flac"}, "flac"},
        {{"--bits", "32", "in.wav", "out.flac"}, "flac"},
        {{"--order", "ambix", "in.wav", "out.amb"}, "amb"},
    };
    for (const Case& c : cases) {
        std::string label;
        for (const std::string& a : c.args)
            label += "'" + a + "' ";
        SCOPED_TRACE(label);
        expectRefusal(convert(c.args), 2, "xetetra convert: ", c.named);
    }
    // The top level too.
    EXPECT_EQ(runTool({}).status, 2);
    const RunResult unknown = runTool({"transmogrify"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("transmogrify"), std::string::npos);
}

TEST_F(ConvertErrorTest, UnreadableAndMismatchedInputs) {
    ASSERT_TRUE(writeSound(dir.file("stereo.wav"),
                           {std::vector<float>(2000), std::vector<float>(2000)}, kRate,
                           SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(writeSound(dir.file("rate.wav"), {std::vector<float>(2000)}, 44100,
                           SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(writeSound(dir.file("short.wav"), {std::vector<float>(1999)}, kRate,
                           SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(writeSound(dir.file("short-stereo.wav"),
                           {std::vector<float>(1500), std::vector<float>(1500)}, kRate,
                           SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    dir.write("notes.txt", "not a sound file\n");
    dir.write("empty.wav", "");
    before = listDirectory(dir.path());
    struct Case {
        std::vector<std::string> args;
        const char* named;
    };
    const Case cases[] = {
        {{"missing.wav", "out.wav"}, "missing.wav"},
        {{"notes.txt", "out.wav"}, "notes.txt"},
        {{"empty.wav", "out.wav"}, "empty.wav"},
        {{"stereo.wav", "out.wav"}, "stereo.wav"},
        {{"in.wav", "right.wav", "out.wav"}, "in.wav"},
        {{"left.wav", "mono1.wav", "out.wav"}, "mono1.wav"},
        {{"mono0.wav", "mono1.wav", "stereo.wav", "mono3.wav", "out.wav"}, "stereo.wav"},
        {{"mono0.wav", "rate.wav", "mono2.wav", "mono3.wav", "out.wav"}, "rate.wav"},
        {{"mono0.wav", "mono1.wav", "mono2.wav", "short.wav", "out.wav"}, "short.wav"},
        {{"left.wav", "short-stereo.wav", "out.wav"}, "short-stereo.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        expectRefusal(convert(c.args), 1, std::string("xetetra: ") + c.named + ": ", c.named);
    }
    const RunResult rate = convert({"mono0.wav", "rate.wav", "mono2.wav", "mono3.wav", "out.wav"});
    EXPECT_NE(rate.err.find("44100 Hz differs from 48000 Hz"), std::string::npos) << rate.err;
    const RunResult channels = convert({"stereo.wav", "out.wav"});
    EXPECT_NE(channels.err.find("has 2 channels"), std::string::npos) << channels.err;

    // A calibrations directory that is none.
    expectRefusal(
        runTool({"convert", "--calibrations", "nowhere", "in.wav", "out.wav"}, dir.path()), 1,
        "xetetra: nowhere: ", "nowhere");
    expectRefusal(
        runTool({"convert", "--calibrations", "notes.txt", "in.wav", "out.wav"}, dir.path()), 1,
        "xetetra: notes.txt: ", "not a directory");
}

TEST_F(ConvertErrorTest, ExistingOutputIsReplacedOnlyWithForce) {
    dir.write("out.wav", "precious");
    before = listDirectory(dir.path());
    expectRefusal(convert({"in.wav", "out.wav"}), 1, "xetetra: out.wav: ", "--force");
    EXPECT_EQ(readText(dir.file("out.wav")), "precious");

    const RunResult forced = convert({"--force", "in.wav", "out.wav"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(readSound(dir.file("out.wav")).ok);
    EXPECT_EQ(listDirectory(dir.path()).size(), before.size()) << "no temporary file remains";

    // A directory is never an output.
    dir.makeDirectory("folder");
    before = listDirectory(dir.path());
    expectRefusal(convert({"--force", "in.wav", "folder"}), 2, "xetetra convert: ", "folder");
    expectRefusal(convert({"--force", "--type", "wav", "in.wav", "folder"}), 1,
                  "xetetra: folder: ", "directory");
    // Nor a place that does not exist.
    expectRefusal(convert({"in.wav", "no/such/dir/out.wav"}), 1,
                  "xetetra: no/such/dir/out.wav: ", "no/such/dir/out.wav");
}

TEST_F(ConvertErrorTest, OutputEqualToAnInputIsRefusedEvenWithForce) {
    ASSERT_EQ(link(dir.file("mono2.wav").c_str(), dir.file("hard.wav").c_str()), 0);
    ASSERT_EQ(symlink("mono3.wav", dir.file("soft.wav").c_str()), 0);
    dir.makeDirectory("sub");
    before = listDirectory(dir.path());
    const std::string original = readText(dir.file("in.wav"));
    struct Case {
        std::vector<std::string> args;
        const char* output;
    };
    const Case cases[] = {
        {{"in.wav", "in.wav"}, "in.wav"},
        {{"in.wav", "./in.wav"}, "./in.wav"},
        {{"in.wav", "sub/../in.wav"}, "sub/../in.wav"},
        {{"in.wav", dir.file("in.wav")}, "in.wav"},
        {{"mono0.wav", "mono1.wav", "mono2.wav", "mono3.wav", "hard.wav"}, "hard.wav"},
        {{"mono0.wav", "mono1.wav", "mono2.wav", "mono3.wav", "soft.wav"}, "soft.wav"},
        {{"left.wav", "right.wav", "right.wav"}, "right.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        for (bool force : {false, true}) {
            std::vector<std::string> args = c.args;
            if (force) args.insert(args.begin(), "--force");
            const RunResult run = convert(args);
            expectRefusal(run, 1, "xetetra: ", c.output);
            EXPECT_NE(run.err.find("is also an input"), std::string::npos) << run.err;
        }
    }
    EXPECT_EQ(readText(dir.file("in.wav")), original);
}

TEST_F(ConvertErrorTest, WriteFailureLeavesNothingBehind) {
    // A file size limit makes writes fail the way a full disk does.
    const Channels long_ = testRecording(100000);
    ASSERT_TRUE(writeSound(dir.file("long.wav"), long_, kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    before = listDirectory(dir.path());
    for (const char* type : {"wav", "caf", "flac"}) {
        SCOPED_TRACE(type);
        const std::string output = std::string("out.") + type;
        const RunResult run = convert({"long.wav", output}, 200000);
        expectRefusal(run, 1, "xetetra: " + output + ": ", "write failed");
    }
    // Output small enough to be written only when the file is closed: the failure shows there.
    const RunResult small = convert({"--bits", "float", "in.wav", "small.wav"}, 20000);
    expectRefusal(small, 1, "xetetra: small.wav: ", "write failed");
}

TEST_F(ConvertErrorTest, InterruptionLeavesNothingBehind) {
    // A conversion slowed down by one-frame blocks, interrupted once its temporary file exists.
    ASSERT_TRUE(writeSound(dir.file("long.wav"), testRecording(400000), kRate,
                           SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    before = listDirectory(dir.path());
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        execl(toolPath().c_str(), "xetetra", "convert", "--calibrations", calibrations.c_str(),
              "--block", "1", "long.wav", "out.wav", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    bool started = false;
    for (int wait = 0; wait < 20000 && !started; ++wait) {
        for (const std::string& name : listDirectory(dir.path()))
            started = started || name.rfind(".out.wav.", 0) == 0;
        if (!started) usleep(1000);
    }
    EXPECT_TRUE(started);
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    std::vector<std::string> after = listDirectory(dir.path());
    std::sort(after.begin(), after.end());
    std::sort(before.begin(), before.end());
    EXPECT_EQ(after, before);
}
