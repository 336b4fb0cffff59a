// xetetra convert refusing what it cannot or must not do: the exit status (2 for a wrong command
// line, 1 for a file problem, 3 for an input that ended early), one line naming the file, and
// every file as it was, nothing left behind.

#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace tooltest;

namespace {

// Every entry of the directory with its type, mode, links and size (or device numbers): what a
// refusal must leave.
std::string state(const std::string& directory) {
    return runProgram("/bin/ls", {"-lA", "--time-style=+", directory}).out;
}

} // namespace

TEST(ConvertSafety, ExitStatusAndFilesForEveryRefusal) {
    TempDirectory dir;
    const std::string calibrations = dir.makeDirectory("calibrations");
    const Channels r = testRecording(2000);
    const std::vector<float> silence(2000);
    ASSERT_TRUE(writeSound(dir.file("in.wav"), r));
    ASSERT_TRUE(writeSound(dir.file("right.wav"), {r[2], r[3]}));
    for (int k = 0; k < 4; ++k)
        ASSERT_TRUE(writeSound(dir.file("mono" + std::to_string(k) + ".wav"), {r[k]}));
    ASSERT_TRUE(writeSound(dir.file("stereo.wav"), {silence, silence}));
    ASSERT_TRUE(writeSound(dir.file("rate.wav"), {silence}, 44100));
    ASSERT_TRUE(writeSound(dir.file("short.wav"), {std::vector<float>(1999)}));
    ASSERT_TRUE(writeSound(dir.file("long.wav"), testRecording(100000)));
    dir.write("notes.txt", "not a sound file\n");
    const std::string bank =
        readText(std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/state-bank-v1.xetc");
    dir.write("cut.xetc", bank.substr(0, bank.size() - 5));
    dir.write("precious.wav", "precious");
    dir.write("private.wav", "private");
    ASSERT_EQ(chmod(dir.file("private.wav").c_str(), 0600), 0);
    dir.makeDirectory("folder");
    ASSERT_EQ(link(dir.file("mono2.wav").c_str(), dir.file("hard.wav").c_str()), 0);
    ASSERT_EQ(symlink("mono3.wav", dir.file("soft.wav").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("fifo.wav").c_str(), 0644), 0);
    ASSERT_EQ(symlink("fifo.wav", dir.file("fifolink.wav").c_str()), 0);
    // A copy of /dev/null: replacing it with a file would take /dev/null from every process.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(mknod(dir.file("null.wav").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    const std::string input = readText(dir.file("in.wav"));
    ASSERT_NE(state(dir.path()).find(" precious.wav"), std::string::npos);
    const std::string monos = "mono0.wav mono1.wav mono2.wav mono3.wav ";
    const std::string regular = "; xetetra replaces only regular files";

    // The arguments after "convert --calibrations DIR", split at spaces; "~" stands for a space
    // within one. The one line on standard error starts with
    // "xetetra convert: " for status 2, "xetetra: " for 1, and holds `message`.
    const struct {
        std::string args;
        int status;
        std::string message;
        long fileSizeLimit = -1;
        bool needsRoot = false;
    } rows[] = {
        {"in.wav", 2, "INPUT"},
        {"mono0.wav mono1.wav mono2.wav out.wav", 2, "3 inputs"},
        {"--frobnicate in.wav out.wav", 2, "--frobnicate"},
        {"in.wav out.wav --program", 2, "--program"},
        {"--force=yes in.wav out.wav", 2, "--force"},
        {"--program 8 in.wav out.wav", 2, "8"},
        {"--program No~Such~Program in.wav out.wav", 2, "No Such Program"},
        {"--set 51=0.5 in.wav out.wav", 2, "51"},
        {"--set 0=1.5 in.wav out.wav", 2, "0=1.5"},
        {"--set 0=nan in.wav out.wav", 2, "0=nan"},
        {"--set No~Such~Parameter=0.5 in.wav out.wav", 2, "No Such Parameter"},
        // Filter numbers that name no set (3 post-matrix sets without calibrations).
        {"--set 6=1 in.wav out.wav", 2, "--set 6=1: there is no post-matrix set 7, only 0 to 2"},
        {"--set PreMatrix~Filter~Number=0.3 in.wav out.wav", 2, "pre-matrix set 2"},
        {"--order acn in.wav out.wav", 2, "acn"},
        {"--type ogg in.wav out.wav", 2, "ogg"},
        {"--bits 8 in.wav out.wav", 2, "8"},
        {"--block 0 in.wav out.wav", 2, "0"},
        {"--block 1048577 in.wav out.wav", 2, "1048577"},
        {"--orientation sideways in.wav out.wav", 2, "sideways"},
        {"--invert xx in.wav out.wav", 2, "xx"}, // the same axis twice
        {"--invert w in.wav out.wav", 2, "'w'"},
        {"in.wav out.mp3", 2, "out.mp3"},
        {"--bits float in.wav out.flac", 2, "flac"},
        {"--order ambix in.wav out.amb", 2, "amb"}, // .amb means FuMa
        // Inputs that cannot be read, or do not fit together.
        {"missing.wav out.wav", 1, "missing.wav: "},
        {"stereo.wav out.wav", 1, "stereo.wav: has 2 channels"},
        {"in.wav right.wav out.wav", 1, "in.wav: "},
        {"mono0.wav rate.wav mono2.wav mono3.wav out.wav", 1,
         "rate.wav: sample rate 44100 Hz differs from 48000 Hz of mono0.wav"},
        {"mono0.wav mono1.wav mono2.wav short.wav out.wav", 1, "short.wav: "},
        {"--calibrations nowhere in.wav out.wav", 1, "nowhere: "},
        {"--calibrations notes.txt in.wav out.wav", 1, "notes.txt: not a directory"},
        // States a host saved, to restore: what is none, named with its file.
        {"--state in.wav in.wav out.wav", 1,
         "in.wav: not a state to restore: it is not XeTetraVST state"},
        {"--state cut.xetc in.wav out.wav", 1, "cut.xetc: not a state to restore: it ends early"},
        {"--state none.xetc in.wav out.wav", 1, "none.xetc: No such file or directory"},
        // Pipes are never opened in a way that waits: refused at once, through a link too.
        {"fifo.wav out.wav", 1,
         "fifo.wav: cannot read: is a pipe or FIFO, not a regular file (save the stream to a "
         "file first)"},
        {"fifolink.wav out.wav", 1, "fifolink.wav: cannot read: is a pipe or FIFO"},
        // Outputs: an existing file only with --force, a directory or missing place never, an
        // input never, and only a regular file with no other links.
        {"in.wav precious.wav", 1, "precious.wav: exists (--force replaces it)"},
        {"--force --type wav in.wav folder", 1, "folder: is a directory"},
        {"in.wav no/such/dir/out.wav", 1, "no/such/dir/out.wav: "},
        {"--force " + monos + "hard.wav", 1, "hard.wav: is also an input"},
        {"--force " + monos + "soft.wav", 1, "soft.wav: is also an input"},
        {"--force in.wav fifo.wav", 1, "fifo.wav: is a FIFO" + regular},
        {"--force in.wav soft.wav", 1, "soft.wav: is a symbolic link" + regular},
        {"--force in.wav hard.wav", 1,
         "hard.wav: has 2 hard links; replacing it would part it from the others, so remove them "
         "or choose another name"},
        {"--force in.wav null.wav", 1, "null.wav: is a character device" + regular, -1, true},
        // A file size limit makes writes fail as a full disk does; a small output fails only when
        // it is closed.
        {"long.wav out.wav", 1, "out.wav: write failed", 200000},
        {"long.wav out.flac", 1, "out.flac: write failed", 200000},
        {"--bits float in.wav small.wav", 1, "small.wav: write failed", 20000},
        // Done: a replaced file keeps its permissions; the longest name a file may have.
        {"--force in.wav private.wav", 0, ""},
        {"in.wav " + std::string(251, 'n') + ".wav", 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        if (row.needsRoot && !root) continue;
        std::vector<std::string> args{"convert", "--calibrations", calibrations};
        std::istringstream words(row.args);
        for (std::string word; words >> word;) {
            std::replace(word.begin(), word.end(), '~', ' ');
            if (word == "--calibrations") args.resize(1);
            args.push_back(word);
        }
        const std::string output = dir.file(args.back());
        struct stat before = {};
        const bool existed = stat(output.c_str(), &before) == 0;
        const std::string files = state(dir.path());
        RunOptions options;
        options.fileSizeLimit = row.fileSizeLimit;
        options.timeoutSeconds = 60;
        const RunResult run = runTool(args, dir.path(), options);
        EXPECT_EQ(run.status, row.status) << run.err;
        if (row.status == 0) {
            EXPECT_TRUE(readSound(output).ok);
            struct stat after = {};
            EXPECT_EQ(stat(output.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode, existed ? before.st_mode : after.st_mode);
            continue;
        }
        const std::vector<std::string> errors = lines(run.err);
        ASSERT_EQ(errors.size(), 1u) << run.err;
        EXPECT_EQ(errors[0].rfind(row.status == 2 ? "xetetra convert: " : "xetetra: ", 0), 0u)
            << errors[0];
        EXPECT_NE(errors[0].find(row.message), std::string::npos) << errors[0];
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(state(dir.path()), files) << "a file was changed, left behind or removed";
    }
    EXPECT_EQ(readText(dir.file("in.wav")), input);
    const RunResult unknown = runTool({"transmogrify"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("transmogrify"), std::string::npos);
}

// A conversion slowed down by one-frame blocks, interrupted once its temporary file exists.
TEST(ConvertSafety, InterruptionLeavesNothingBehind) {
    TempDirectory dir;
    const std::string calibrations = dir.makeDirectory("calibrations");
    ASSERT_TRUE(writeSound(dir.file("long.wav"), testRecording(400000)));
    const std::string before = state(dir.path());
    ASSERT_NE(before.find(" long.wav"), std::string::npos) << before;
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        execl((std::string(XETETRA_BINARY_DIR) + "/xetetra").c_str(), "xetetra", "convert",
              "--calibrations", calibrations.c_str(), "--block", "1", "long.wav", "out.wav",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    bool started = false;
    for (int wait = 0; wait < 20000 && !started; ++wait, usleep(1000))
        started = state(dir.path()).find(" .out.wav.") != std::string::npos;
    EXPECT_TRUE(started);
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(state(dir.path()), before);
}

// Files cut short after their headers were written: what is there is converted, exactly as a
// whole file holding only those frames, and said so with exit status 3.
TEST(ConvertSafety, InputsThatEndEarly) {
    TempDirectory dir;
    const std::string calibrations = dir.makeDirectory("calibrations");
    const auto convert = [&](const std::string& input, const std::string& output) {
        return runTool({"convert", "--calibrations", calibrations, "--quiet", "--force", "--bits",
                        "float", input, output},
                       dir.path());
    };
    const std::string path = dir.file("short.wav");
    ASSERT_TRUE(writeSound(path, testRecording(10000)));
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(readText(path).size()) - 1000 * 16 - 5), 0);
    // What libsndfile gives of it.
    const Sound present = readSound(path);
    ASSERT_TRUE(writeSound(dir.file("present.wav"), present.channels));
    const RunResult run = convert("short.wav", "out.wav");
    EXPECT_EQ(run.status, 3) << run.err;
    // One warning, naming the file and the frames converted.
    const std::vector<std::string> warning = lines(run.err);
    ASSERT_EQ(warning.size(), 1u) << run.err;
    EXPECT_EQ(warning[0].rfind("xetetra: warning: short.wav: ends early: ", 0), 0u) << warning[0];
    EXPECT_NE(warning[0].find(" " + std::to_string(present.frames()) + " "), std::string::npos)
        << warning[0];
    ASSERT_EQ(convert("present.wav", "reference.wav").status, 0);
    EXPECT_TRUE(readSound(dir.file("out.wav")).channels ==
                readSound(dir.file("reference.wav")).channels);
}
