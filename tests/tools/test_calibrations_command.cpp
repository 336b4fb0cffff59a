// xetetra calibrations install and list, the system-wide directory at its real path in a private
// mount namespace, and what xetetra says of calibrations it cannot read or whose names no terminal
// or JSON reader should get raw.

#include "calibration/CalibrationPaths.h"
#include "calibration/TetraFileWriter.h"
#include "support/SampleCalibrations.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace tooltest;

namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whether one line of the text holds both parts, in this order.
bool lineHas(const std::string& text, const std::string& first, const std::string& second) {
    for (const std::string& line : lines(text)) {
        const size_t at = line.find(first);
        if (at != std::string::npos && line.find(second, at + first.size()) != std::string::npos)
            return true;
    }
    return false;
}

// What differs between two directory trees, files excluded by name, as diff says; "" for nothing.
std::string differences(const std::string& a, const std::string& b,
                        const std::string& exclude = "") {
    const RunResult run = runProgram("/usr/bin/diff", {"-r", "-x", exclude, a, b});
    return run.status == 0 ? ""
                           : run.out + run.err + "(diff status " + std::to_string(run.status) + ")";
}

// The environment of a user whose home is `home`, with no data directories of the machine's.
std::vector<std::string> userEnvironment(const std::string& home) {
    return {"HOME=" + home, "XETETRA_CALIBRATIONS", "XDG_DATA_HOME",
            "XDG_DATA_DIRS=" + home + "/.no-data-dirs"};
}

RunResult runAs(const std::vector<std::string>& environment, const std::vector<std::string>& args) {
    RunOptions options;
    options.environment = environment;
    return runTool(args, "", options);
}

} // namespace

// What a calibrations directory holds that cannot be read is named, one notice each; names are cut
// whole and reach a terminal or a JSON reader safely.
TEST(ToolCalibrations, UnreadableEntriesAreNamedAndNamesPrintedSafely) {
    TempDirectory dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string calibrations = dir.makeDirectory("calibrations");
    const std::string sealed = dir.makeDirectory("sealed");
    // An e-acute over bytes 23 and 24 of the name, beyond the 23 a program name holds; a name in
    // Latin-1; an escape sequence that would turn a terminal red; a C1 control character.
    const std::string names[] = {"Calibration-Strasse-12\xc3\xa9x",
                                 "Caf\xe9",
                                 "Red\x1b[31mAlert",
                                 "Bad\xc2\x9bName",
                                 "locked",
                                 "odd \"name\\"};
    for (const std::string& name : names)
        ASSERT_TRUE(tetrafile::writeFile(calibrations + "/" + name + ".tetra",
                                         tetrafile::mic1234Calibration()));
    dir.write("calibrations/locked.txt", "sens 1 1 1 1\n");
    dir.makeDirectory("calibrations/folder.txt"); // passed over without a word
    for (const std::string& path :
         {calibrations + "/locked.txt", calibrations + "/locked.tetra", sealed})
        ASSERT_EQ(chmod(path.c_str(), 0), 0);
    ASSERT_EQ(mkfifo((calibrations + "/pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(symlink("nowhere.txt", (calibrations + "/gone.txt").c_str()), 0);
    ASSERT_EQ(symlink("loop.tetra", (calibrations + "/loop.tetra").c_str()), 0);

    RunOptions options;
    if (geteuid() == 0) // root may read anything: run as nobody
        options.prepare = [] {
            return setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0 ? 125 : 0;
        };
    options.timeoutSeconds = 60;
    const RunResult table = runTool({"programs", "--calibrations", calibrations}, "", options);
    const RunResult json =
        runTool({"programs", "--json", "--calibrations", calibrations}, "", options);
    ASSERT_EQ(table.status, 0) << table.err;
    ASSERT_EQ(json.status, 0) << json.err;
    const std::string skipped = "XeTetraVST: Calibration file skipped (";
    std::vector<std::string> notices = lines(table.err);
    std::sort(notices.begin(), notices.end());
    EXPECT_EQ(notices,
              (std::vector<std::string>{
                  skipped + "Permission denied): " + calibrations + "/locked.tetra",
                  skipped + "Permission denied): " + calibrations + "/locked.txt",
                  skipped + "Too many levels of symbolic links): " + calibrations + "/loop.tetra",
                  skipped + "a FIFO, not a regular file): " + calibrations + "/pipe.txt",
                  skipped + "a symbolic link to nothing): " + calibrations + "/gone.txt"}));
    // The factory programs with what they select; an imported one with its file.
    EXPECT_TRUE(
        lineHas(table.out, " 2.3cm ", " 1024  on      FuMa    on cut 25.0 Hz, boost 150.0 Hz  off"))
        << table.out;
    EXPECT_TRUE(
        has(json.out, "/odd \\\"name\\\\.tetra\", \"directory\": \"" + calibrations + "\"}"))
        << json.out;
    EXPECT_EQ(runTool({"programs", "extra"}).status, 2);
    // Not "not found": the directory is there, and the notice says why it was not read.
    const RunResult unreadable = runTool({"programs", "--calibrations", sealed}, "", options);
    EXPECT_EQ(unreadable.status, 0);
    EXPECT_EQ(unreadable.err,
              "XeTetraVST: Calibrations directory cannot be read (Permission denied): " + sealed +
                  "\n");

    // The program name ends before the character that does not fit; the set name holds it all.
    for (const char* part :
         {"\"name\": \"Calibration-Strasse-12\"", "\"name\": \"Calibration-Strasse-12\xc3\xa9x\"",
          "\"name\": \"Caf\xef\xbf\xbd\"", "\"name\": \"Red\\u001b[31mAlert\"",
          "\"name\": \"Bad\xc2\x9bName\"", "\"name\": \"odd \\\"name\\\\\""})
        EXPECT_TRUE(has(json.out, part)) << part;
    for (const char* part : {"Calibration-Strasse-12  ", "Calibration-Strasse-12\xc3\xa9x",
                             "Caf\\xe9", "Red\\x1b[31mAlert", "Bad\\u009bName"})
        EXPECT_TRUE(has(table.out, part)) << part;
    for (unsigned char c : table.out)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7f && c != 0x9b && c != 0xe9)) << int(c);
    // An outside judge of UTF-8: iconv refuses anything else.
    const std::string written = dir.write("programs.json", json.out);
    const RunResult check = runProgram("/usr/bin/iconv", {"-f", "UTF-8", "-t", "UTF-8", written});
    EXPECT_EQ(check.status, 0) << check.err;
}

TEST(CalibrationsInstall, ChecksCopiesAndNeverOverwritesUnasked) {
    struct stat existing;
    if (stat(kSystemCalibrationsDirectory, &existing) == 0)
        GTEST_SKIP() << kSystemCalibrationsDirectory << " exists on this machine and is read "
                     << "before any per-user directory";
    TempDirectory dir;
    const std::string home = dir.makeDirectory("home");
    const std::string source = dir.makeDirectory("source");
    const std::vector<std::string> environment = userEnvironment(home);
    const std::string target = home + "/.local/share/xetetra/calibrations";

    // A text calibration with coefficient files for 44.1 and 48 kHz, and a tetraproc one.
    samplecal::TextCalibration text;
    text.name = "Mic7";
    ASSERT_TRUE(samplecal::writeTextCalibration(source, text));
    ASSERT_TRUE(tetrafile::writeFile(source + "/Mic8.tetra", tetrafile::mic1234Calibration()));
    const RunResult good = runAs(
        environment, {"calibrations", "install", source + "/Mic7.txt", source + "/Mic8.tetra"});
    ASSERT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.err, "");
    EXPECT_EQ(good.out, target + "/Mic7.txt: program 2 (Mic7)\n" + target +
                            "/Mic8.tetra: program 3 (Mic8)\n");
    EXPECT_EQ(differences(source, target), "");
    dir.makeDirectory("bad");

    // Files the plug-in would complain about are refused with its reason; nothing is copied.
    const tetrafile::Bytes whole = tetrafile::mic1234Calibration().bytes();
    const struct {
        const char* file;
        std::string content;
        std::string reason;
    } bad[] = {
        {"Loud.txt", "sens 20 0 0 0\n",
         "refused: Out-of-range calibration value sens 20 limited to 12 dB"},
        {"Cut.tetra", std::string(whole.begin(), whole.end() - 6),
         "refused: Calibration file is cut off or malformed after "},
        {"readme.md", "sens 0 0 0 0\n", "not named like a calibration"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.write(std::string("bad/") + c.file, c.content);
        const RunResult run = runAs(environment, {"calibrations", "install", path});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("xetetra: " + path + ": " + c.reason, 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(differences(source, target), "");
    }

    // The name of an installed calibration: refused, then replaced whole with --force (the
    // coefficient files of the old one with it); a file of another kind with the same name
    // replaces it too.
    text.sens[0] = 1.5f;
    text.coefficientRates = {"96"};
    const std::string newer = dir.makeDirectory("newer");
    ASSERT_TRUE(samplecal::writeTextCalibration(newer, text));
    ASSERT_TRUE(tetrafile::writeFile(newer + "/Mic8.txt.tetra", tetrafile::TetraCalibration()));
    dir.write("newer/Mic8.txt", "sens 1 1 1 1\n");
    const RunResult refused =
        runAs(environment, {"calibrations", "install", newer + "/Mic7.txt", newer + "/Mic8.txt"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(has(refused.err, "/Mic7.txt: not installed: " + target +
                                     " holds the calibration Mic7 already (Mic7.txt, Mic7/)"))
        << refused.err;
    EXPECT_TRUE(has(refused.err, "holds the calibration Mic8 already (Mic8.tetra)")) << refused.err;
    EXPECT_EQ(differences(source, target), "");
    const RunResult forced = runAs(environment, {"calibrations", "install", "--force",
                                                 newer + "/Mic7.txt", newer + "/Mic8.txt"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(forced.err,
              "xetetra: " + target + "/Mic8.tetra: removed, replaced by " + target + "/Mic8.txt\n");
    EXPECT_EQ(differences(newer, target, "Mic8.txt.tetra"), "");
    // A file read both as text and as tetraproc calibration is two programs: refused.
    const RunResult twice =
        runAs(environment, {"calibrations", "install", newer + "/Mic8.txt.tetra"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_TRUE(has(twice.err, "refused: ")) << twice.err;

    // Where install puts calibrations: XETETRA_CALIBRATIONS; the per-user directory of the
    // original layout when it is the one in use; else the XDG one. The plug-in then reads them
    // from there, as xetetra programs says.
    const std::string legacy = home + "/Library/Audio/Plug-Ins/VST/calibrations";
    const std::string chosen = dir.file("chosen/calibrations");
    const struct {
        const char* what;
        std::vector<std::string> environment;
        bool legacyExists;
        std::string expected;
    } places[] = {
        {"XETETRA_CALIBRATIONS", {"XETETRA_CALIBRATIONS=" + chosen}, true, chosen},
        {"the original per-user directory", {}, true, legacy},
        {"XDG_DATA_HOME",
         {"XDG_DATA_HOME=" + dir.file("data")},
         false,
         dir.file("data") + "/xetetra/calibrations"},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.what);
        const std::string make = place.legacyExists ? " && mkdir -p '" + legacy + "'" : "";
        ASSERT_EQ(std::system(("rm -rf '" + home + "/Library'" + make).c_str()), 0);
        std::vector<std::string> env = environment;
        env.insert(env.end(), place.environment.begin(), place.environment.end());
        const RunResult run = runAs(env, {"calibrations", "install", source + "/Mic8.tetra"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, place.expected + "/Mic8.tetra: program 2 (Mic8)\n");
        const RunResult list = runAs(env, {"calibrations", "list"});
        EXPECT_EQ(list.status, 0);
        EXPECT_TRUE(has(list.out, "Programs from " + place.expected + ":\n  2  Mic8  Mic8.tetra\n"))
            << list.out;
    }
    const RunResult relative = runAs({"XETETRA_CALIBRATIONS=calibrations"},
                                     {"calibrations", "install", source + "/Mic8.tetra"});
    EXPECT_EQ(relative.status, 1);
    EXPECT_TRUE(has(relative.err, "(calibrations) is not an absolute path")) << relative.err;
    EXPECT_EQ(runAs(environment, {"calibrations", "install"}).status, 2);
    EXPECT_EQ(runAs(environment, {"calibrations", "remove"}).status, 2);
}

namespace {

constexpr int kNoNamespace = 90;

// In the child: a private mount namespace whose root is a fresh tmpfs holding every top-level
// entry of the real root (bound, so every path stays what it was), with
// /Library/Audio/Plug-Ins/VST/calibrations bound to `system`; then enters it. Answers
// kNoNamespace when the system does not let us.
int enterRootWithSystemDirectory(const std::string& newRoot, const std::string& system) {
    if (unshare(CLONE_NEWNS) != 0) return kNoNamespace;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kNoNamespace;
    if (mount("tmpfs", newRoot.c_str(), "tmpfs", 0, "mode=0755") != 0) return kNoNamespace;
    DIR* top = opendir("/");
    if (top == nullptr) return kNoNamespace;
    while (const dirent* entry = readdir(top)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == "Library") continue;
        const std::string from = "/" + name, to = newRoot + from;
        struct stat info;
        if (lstat(from.c_str(), &info) != 0) continue;
        if (S_ISLNK(info.st_mode)) {
            char link[4096];
            const ssize_t length = readlink(from.c_str(), link, sizeof(link) - 1);
            if (length < 0) continue;
            link[length] = '\0';
            if (symlink(link, to.c_str()) != 0) return kNoNamespace;
        } else if (S_ISDIR(info.st_mode)) {
            if (mkdir(to.c_str(), 0755) != 0 ||
                mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
                return kNoNamespace;
        }
    }
    closedir(top);
    std::string path = newRoot;
    for (const char* part : {"Library", "Audio", "Plug-Ins", "VST", "calibrations"})
        mkdir((path += std::string("/") + part).c_str(), 0755);
    if (mount(system.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) return kNoNamespace;
    if (chroot(newRoot.c_str()) != 0 || chdir("/") != 0) return kNoNamespace;
    return 0;
}

} // namespace

TEST(CalibrationPlaces, SystemWideDirectoryInAPrivateMountNamespace) {
    TempDirectory dir;
    const std::string newRoot = dir.makeDirectory("root");
    const std::string system = dir.makeDirectory("system");
    const std::string home = dir.makeDirectory("home");
    RunOptions options;
    options.prepare = [&] { return enterRootWithSystemDirectory(newRoot, system); };
    options.environment = userEnvironment(home);
    if (runTool({"--help"}, "", options).status == kNoNamespace)
        GTEST_SKIP() << "no private mount namespace could be made for "
                     << kSystemCalibrationsDirectory
                     << " (it takes root, or CAP_SYS_ADMIN, and unshare(CLONE_NEWNS))";

    // The system-wide directory holds a text and a tetraproc calibration; the per-user one, read
    // after it, one of its own, which must not be read.
    const std::string seed = kSystemCalibrationsDirectory;
    ASSERT_TRUE(tetrafile::writeFile(system + "/Seed.tetra", tetrafile::mic1234Calibration()));
    dir.write("system/Seed.txt", "sens 1 1 1 1\n");
    const std::string legacy = home + "/Library/Audio/Plug-Ins/VST/calibrations";
    ASSERT_EQ(std::system(("mkdir -p '" + legacy + "'").c_str()), 0);
    dir.write("home/Library/Audio/Plug-Ins/VST/calibrations/Legacy.txt", "sens 2 2 2 2\n");

    const RunResult json = runTool({"programs", "--json"}, "", options);
    ASSERT_EQ(json.status, 0) << json.err;
    // Text first, then tetraproc: the set numbers the seed always gave.
    for (int program : {2, 3})
        EXPECT_TRUE(has(json.out, "{\"index\": " + std::to_string(program) +
                                      ", \"name\": \"Seed\",\n   \"postMatrixSet\": {\"index\": " +
                                      std::to_string(program + 1) +
                                      ", \"name\": \"Seed\", \"latency\": 0},\n   "
                                      "\"calibration\": {\"file\": \"" +
                                      seed + (program == 2 ? "/Seed.txt\"" : "/Seed.tetra\"")))
            << json.out;
    EXPECT_FALSE(has(json.out, "Legacy")) << json.out;
    const RunResult list = runTool({"calibrations", "list"}, "", options);
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(lineHas(list.out, " " + seed + " ", " in use")) << list.out;
    EXPECT_TRUE(lineHas(list.out, " " + legacy + " ", " not read")) << list.out;
    EXPECT_TRUE(has(list.out, "'xetetra calibrations install' has no directory to use: " + seed +
                                  " is in use"))
        << list.out;
    const RunResult install = runTool(
        {"calibrations", "install", home + "/Library/Audio/Plug-Ins/VST/calibrations/Legacy.txt"},
        "", options);
    EXPECT_EQ(install.status, 1);
    EXPECT_TRUE(has(install.err, seed + " is in use: it is read for every user")) << install.err;
}
