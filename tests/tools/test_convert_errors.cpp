// xetetra convert refusing what it cannot do: one line naming the file, a non-zero exit (2 for a
// wrong command line), and no file left behind.

#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

using namespace tooltest;

namespace {

class ConvertErrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An empty calibrations directory keeps the processor's own messages off standard error.
        calibrations = dir.makeDirectory("calibrations");
        const Channels r = testRecording(2000);
        ASSERT_TRUE(writeFloatWav(dir.file("in.wav"), r));
        ASSERT_TRUE(writeFloatWav(dir.file("left.wav"), {r[0], r[1]}));
        ASSERT_TRUE(writeFloatWav(dir.file("right.wav"), {r[2], r[3]}));
        for (int k = 0; k < 4; ++k)
            ASSERT_TRUE(writeFloatWav(dir.file("mono" + std::to_string(k) + ".wav"), {r[k]}));
        snapshot();
    }

    void snapshot() {
        before = listDirectory(dir.path());
        std::sort(before.begin(), before.end());
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
        EXPECT_EQ(after, before) << "a file was left behind or removed";
    }

    TempDirectory dir;
    std::string calibrations;
    std::vector<std::string> before;
};

struct Case {
    std::vector<std::string> args;
    const char* named; // what the message must name
};

} // namespace

TEST_F(ConvertErrorTest, WrongCommandLinesAreUsageErrors) {
    const Case cases[] = {
        {{"in.wav"}, "INPUT"},
        {{"mono0.wav", "mono1.wav", "mono2.wav", "out.wav"}, "3 inputs"},
        {{"--frobnicate", "in.wav", "out.wav"}, "--frobnicate"},
        {{"in.wav", "out.wav", "--program"}, "--program"},
        {{"--force=yes", "in.wav", "out.wav"}, "--force"},
        {{"--program", "8", "in.wav", "out.wav"}, "8"},
        {{"--program", "No Such Program", "in.wav", "out.wav"}, "No Such Program"},
        {{"--set", "51=0.5", "in.wav", "out.wav"}, "51"},
        {{"--set", "0=1.5", "in.wav", "out.wav"}, "0=1.5"},
        {{"--set", "0=nan", "in.wav", "out.wav"}, "0=nan"},
        {{"--set", "No Such Parameter=0.5", "in.wav", "out.wav"}, "No Such Parameter"},
        // Filter numbers that name no set (3 post-matrix sets without calibrations).
        {{"--set", "6=1", "in.wav", "out.wav"},
         "--set 6=1: there is no post-matrix set 7, only 0 to 2"},
        {{"--set", "PreMatrix Filter Number=0.3", "in.wav", "out.wav"}, "pre-matrix set 2"},
        {{"--order", "acn", "in.wav", "out.wav"}, "acn"},
        {{"--type", "ogg", "in.wav", "out.wav"}, "ogg"},
        {{"--bits", "8", "in.wav", "out.wav"}, "8"},
        {{"--block", "0", "in.wav", "out.wav"}, "0"},
        {{"--block", "1048577", "in.wav", "out.wav"}, "1048577"},
        {{"--orientation", "sideways", "in.wav", "out.wav"}, "sideways"},
        // The same axis twice in one --invert.
        {{"--invert", "xx", "in.wav", "out.wav"}, "xx"},
        {{"--invert", "yzy", "in.wav", "out.wav"}, "yzy"},
        {{"--invert", "w", "in.wav", "out.wav"}, "'w'"},
        {{"in.wav", "out.mp3"}, "out.mp3"},
        {{"--bits", "float", "in.wav", "out.flac"}, "flac"},
        {{"--bits", "32", "in.wav", "out.flac"}, "flac"},
        // .amb means FuMa.
        {{"--order", "ambix", "in.wav", "out.amb"}, "amb"},
    };
    for (const Case& c : cases) {
        std::string label;
        for (const std::string& a : c.args)
            label += "'" + a + "' ";
        SCOPED_TRACE(label);
        expectRefusal(convert(c.args), 2, "xetetra convert: ", c.named);
    }
    EXPECT_EQ(runTool({}).status, 2);
    const RunResult unknown = runTool({"transmogrify"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("transmogrify"), std::string::npos);
}

TEST_F(ConvertErrorTest, UnreadableAndMismatchedInputs) {
    const std::vector<float> silence(2000);
    ASSERT_TRUE(writeFloatWav(dir.file("stereo.wav"), {silence, silence}));
    ASSERT_TRUE(writeFloatWav(dir.file("rate.wav"), {silence}, 44100));
    ASSERT_TRUE(writeFloatWav(dir.file("short.wav"), {std::vector<float>(1999)}));
    dir.write("notes.txt", "not a sound file\n");
    snapshot();
    struct Input {
        std::vector<std::string> args;
        const char* file;   // named at the start of the message
        const char* detail; // and what it says about it
    };
    const Input cases[] = {
        {{"missing.wav"}, "missing.wav", ""},
        {{"notes.txt"}, "notes.txt", ""},
        {{"stereo.wav"}, "stereo.wav", "has 2 channels"},
        {{"in.wav", "right.wav"}, "in.wav", ""},
        {{"left.wav", "mono1.wav"}, "mono1.wav", ""},
        {{"mono0.wav", "rate.wav", "mono2.wav", "mono3.wav"},
         "rate.wav",
         "44100 Hz differs from 48000 Hz"},
        {{"mono0.wav", "mono1.wav", "mono2.wav", "short.wav"}, "short.wav", ""},
        {{"--calibrations", "nowhere", "in.wav"}, "nowhere", ""},
        {{"--calibrations", "notes.txt", "in.wav"}, "notes.txt", "not a directory"},
    };
    for (const Input& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> args{"convert"};
        if (c.args[0] != "--calibrations")
            args.insert(args.end(), {"--calibrations", calibrations});
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("out.wav");
        const RunResult run = runTool(args, dir.path());
        expectRefusal(run, 1, std::string("xetetra: ") + c.file + ": ", c.detail);
    }
}

TEST_F(ConvertErrorTest, ExistingOutputIsReplacedOnlyWithForce) {
    dir.write("out.wav", "precious");
    dir.makeDirectory("folder");
    snapshot();
    expectRefusal(convert({"in.wav", "out.wav"}), 1, "xetetra: out.wav: ", "--force");
    EXPECT_EQ(readText(dir.file("out.wav")), "precious");
    // A directory is never an output, nor a place that does not exist.
    expectRefusal(convert({"--force", "--type", "wav", "in.wav", "folder"}), 1,
                  "xetetra: folder: ", "directory");
    expectRefusal(convert({"in.wav", "no/such/dir/out.wav"}), 1,
                  "xetetra: no/such/dir/out.wav: ", "no/such/dir/out.wav");

    const RunResult forced = convert({"--force", "in.wav", "out.wav"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(readSound(dir.file("out.wav")).ok);
    EXPECT_EQ(listDirectory(dir.path()).size(), before.size()) << "no temporary file remains";
}

TEST_F(ConvertErrorTest, OutputEqualToAnInputIsRefusedEvenWithForce) {
    ASSERT_EQ(link(dir.file("mono2.wav").c_str(), dir.file("hard.wav").c_str()), 0);
    ASSERT_EQ(symlink("mono3.wav", dir.file("soft.wav").c_str()), 0);
    dir.makeDirectory("sub");
    snapshot();
    const std::string original = readText(dir.file("in.wav"));
    const std::vector<std::string> monos{"mono0.wav", "mono1.wav", "mono2.wav", "mono3.wav"};
    const Case cases[] = {
        {{"in.wav", "in.wav"}, "in.wav"},
        {{"in.wav", "sub/../in.wav"}, "sub/../in.wav"},
        {{"in.wav", dir.file("in.wav")}, "in.wav"},
        {{"left.wav", "right.wav", "right.wav"}, "right.wav"},
        {{"hard.wav"}, "hard.wav"},
        {{"soft.wav"}, "soft.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        std::vector<std::string> args{"--force"};
        if (c.args.size() == 1) args.insert(args.end(), monos.begin(), monos.end());
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = convert(args);
        expectRefusal(run, 1, "xetetra: ", c.named);
        EXPECT_NE(run.err.find("is also an input"), std::string::npos) << run.err;
    }
    EXPECT_EQ(readText(dir.file("in.wav")), original);
}

TEST_F(ConvertErrorTest, WriteFailureLeavesNothingBehind) {
    // A file size limit makes writes fail the way a full disk does.
    ASSERT_TRUE(writeFloatWav(dir.file("long.wav"), testRecording(100000)));
    snapshot();
    for (const char* type : {"wav", "flac"}) {
        const std::string output = std::string("out.") + type;
        expectRefusal(convert({"long.wav", output}, 200000), 1, "xetetra: " + output + ": ",
                      "write failed");
    }
    // Output small enough to be written only when the file is closed: the failure shows there.
    expectRefusal(convert({"--bits", "float", "in.wav", "small.wav"}, 20000), 1,
                  "xetetra: small.wav: ", "write failed");
}

TEST_F(ConvertErrorTest, InterruptionLeavesNothingBehind) {
    // A conversion slowed down by one-frame blocks, interrupted once its temporary file exists.
    ASSERT_TRUE(writeFloatWav(dir.file("long.wav"), testRecording(400000)));
    snapshot();
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
    EXPECT_EQ(after, before);
}
