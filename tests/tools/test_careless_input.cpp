// xetetra facing what a careless or hostile user gives it: calibration entries it may not read,
// names no terminal or JSON reader should get raw, outputs that are not plain files, inputs that
// are not files or end before their headers say.

#include "calibration/TetraFileWriter.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

using namespace tooltest;

namespace {

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> all = lines(text);
    std::sort(all.begin(), all.end());
    return all;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

mode_t typeOf(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

} // namespace

TEST(ToolCalibrations, WhatCannotBeReadIsNamed) {
    TempDirectory dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string calibrations = dir.makeDirectory("calibrations");
    const std::string sealed = dir.makeDirectory("sealed");
    ASSERT_TRUE(
        tetrafile::writeFile(calibrations + "/Good.tetra", tetrafile::mic1234Calibration()));
    ASSERT_TRUE(
        tetrafile::writeFile(calibrations + "/locked.tetra", tetrafile::mic1234Calibration()));
    dir.write("calibrations/locked.txt", "sens 1 1 1 1\n");
    dir.makeDirectory("calibrations/folder.txt");
    ASSERT_EQ(chmod((calibrations + "/locked.txt").c_str(), 0), 0);
    ASSERT_EQ(chmod((calibrations + "/locked.tetra").c_str(), 0), 0);
    ASSERT_EQ(chmod(sealed.c_str(), 0), 0);
    ASSERT_EQ(mkfifo((calibrations + "/pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(symlink("nowhere.txt", (calibrations + "/gone.txt").c_str()), 0);
    ASSERT_EQ(symlink("loop.tetra", (calibrations + "/loop.tetra").c_str()), 0);

    RunOptions options;
    options.uid = unprivilegedUser();
    options.timeoutSeconds = 60;
    const std::string skipped = "XeTetraVST: Calibration file skipped (";
    const struct {
        std::string directory;
        std::vector<std::string> notices; // sorted; a directory named like a file is passed over
    } cases[] = {
        {calibrations,
         {skipped + "Permission denied): " + calibrations + "/locked.tetra",
          skipped + "Permission denied): " + calibrations + "/locked.txt",
          skipped + "Too many levels of symbolic links): " + calibrations + "/loop.tetra",
          skipped + "a FIFO, not a regular file): " + calibrations + "/pipe.txt",
          skipped + "a symbolic link to nothing): " + calibrations + "/gone.txt"}},
        // Not "not found": it is there, and the notice says why it was not read.
        {sealed,
         {"XeTetraVST: Calibrations directory cannot be read (Permission denied): " + sealed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        const RunResult run = runTool({"programs", "--calibrations", c.directory}, "", options);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> expected = c.notices;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sortedLines(run.err), expected);
        EXPECT_EQ(has(run.out, "Good"), c.directory == calibrations);
    }
}

TEST(ToolCalibrations, NamesAreCutWholeAndPrintedSafely) {
    TempDirectory dir;
    const std::string calibrations = dir.makeDirectory("calibrations");
    // An e-acute over bytes 23 and 24 of the name, beyond the 23 a program name holds; a name in
    // Latin-1; an escape sequence that would turn a terminal red; a C1 control character.
    const std::string names[] = {"Calibration-Strasse-12\xc3\xa9x", "Caf\xe9", "Red\x1b[31mAlert",
                                 "Bad\xc2\x9bName"};
    for (const std::string& name : names)
        ASSERT_TRUE(tetrafile::writeFile(calibrations + "/" + name + ".tetra",
                                         tetrafile::mic1234Calibration()));
    const RunResult table = runTool({"programs", "--calibrations", calibrations});
    const RunResult json = runTool({"programs", "--json", "--calibrations", calibrations});
    ASSERT_EQ(table.status, 0) << table.err;
    ASSERT_EQ(json.status, 0) << json.err;

    // The program name ends before the character that does not fit; the set name holds it all.
    for (const char* part :
         {"\"name\": \"Calibration-Strasse-12\"", "\"name\": \"Calibration-Strasse-12\xc3\xa9x\"",
          "\"name\": \"Caf\xef\xbf\xbd\"", "\"name\": \"Red\\u001b[31mAlert\"",
          "\"name\": \"Bad\xc2\x9bName\""})
        EXPECT_TRUE(has(json.out, part)) << part;
    for (const char* part : {"Calibration-Strasse-12  ", "Calibration-Strasse-12\xc3\xa9x",
                             "Caf\\xe9", "Red\\x1b[31mAlert", "Bad\\u009bName"})
        EXPECT_TRUE(has(table.out, part)) << part;
    for (unsigned char c : table.out)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7f && c != 0x9b && c != 0xe9)) << int(c);
    // An outside judge of UTF-8: iconv refuses anything else.
    const std::string written = dir.write("programs.json", json.out);
    const RunResult check =
        runProgram("/usr/bin/iconv", {"-f", "UTF-8", "-t", "UTF-8", written}, "");
    EXPECT_EQ(check.status, 0) << check.err;
}

TEST(ConvertSafety, OnlyPlainFilesAreReplaced) {
    struct Case {
        const char* what;
        std::string output;
        bool needsRoot;
        std::function<void(const TempDirectory&)> prepare;
        int status;
        std::string message; // the one line on standard error, none when empty
        std::function<void(const TempDirectory&)> check;
    };
    const std::string onlyRegular = "; xetetra replaces only regular files";
    auto write = [](const TempDirectory& d, const char* name, mode_t mode) {
        d.write(name, "precious");
        chmod(d.file(name).c_str(), mode);
    };
    const std::string longName = std::string(251, 'n') + ".wav";
    const Case cases[] = {
        // A copy of /dev/null: replacing it with a file would take /dev/null from every process.
        {"device node", "null.wav", true,
         [](const TempDirectory& d) {
             ASSERT_EQ(mknod(d.file("null.wav").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
         },
         1, "xetetra: null.wav: is a character device" + onlyRegular,
         [](const TempDirectory& d) {
             struct stat status;
             ASSERT_EQ(lstat(d.file("null.wav").c_str(), &status), 0);
             EXPECT_TRUE(S_ISCHR(status.st_mode));
             EXPECT_EQ(status.st_rdev, makedev(1, 3));
         }},
        {"FIFO", "fifo.wav", false,
         [](const TempDirectory& d) { ASSERT_EQ(mkfifo(d.file("fifo.wav").c_str(), 0644), 0); }, 1,
         "xetetra: fifo.wav: is a FIFO" + onlyRegular,
         [](const TempDirectory& d) { EXPECT_TRUE(S_ISFIFO(typeOf(d.file("fifo.wav")))); }},
        {"symbolic link", "link.wav", false,
         [&write](const TempDirectory& d) {
             write(d, "target.wav", 0644);
             ASSERT_EQ(symlink("target.wav", d.file("link.wav").c_str()), 0);
         },
         1, "xetetra: link.wav: is a symbolic link" + onlyRegular,
         [](const TempDirectory& d) {
             EXPECT_TRUE(S_ISLNK(typeOf(d.file("link.wav"))));
             EXPECT_EQ(readText(d.file("target.wav")), "precious");
         }},
        {"hard link", "out.wav", false,
         [&write](const TempDirectory& d) {
             write(d, "out.wav", 0644);
             ASSERT_EQ(link(d.file("out.wav").c_str(), d.file("twin.wav").c_str()), 0);
         },
         1,
         "xetetra: out.wav: has 2 hard links; replacing it would part it from the others, so "
         "remove them or choose another name",
         [](const TempDirectory& d) { EXPECT_EQ(readText(d.file("twin.wav")), "precious"); }},
        {"private recording", "out.wav", false,
         [&write](const TempDirectory& d) { write(d, "out.wav", 0600); }, 0, "",
         [](const TempDirectory& d) {
             EXPECT_EQ(typeOf(d.file("out.wav")) & 07777, 0600u);
             EXPECT_TRUE(readSound(d.file("out.wav")).ok);
         }},
        {"255-byte name", longName, false, [](const TempDirectory&) {}, 0, "",
         [&longName](const TempDirectory& d) { EXPECT_TRUE(readSound(d.file(longName)).ok); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && geteuid() != 0) {
            std::cout << "[ SKIPPED  ] " << c.what << ": mknod needs root\n";
            continue;
        }
        TempDirectory dir;
        const std::string calibrations = dir.makeDirectory("calibrations");
        ASSERT_TRUE(writeFloatWav(dir.file("in.wav"), testRecording(2000)));
        c.prepare(dir);
        const RunResult run = runTool({"convert", "--calibrations", calibrations, "--force",
                                       "--quiet", "--type", "wav", "in.wav", c.output},
                                      dir.path());
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(lines(run.err), c.message.empty() ? std::vector<std::string>{}
                                                    : std::vector<std::string>{c.message});
        c.check(dir);
        for (const std::string& name : listDirectory(dir.path()))
            EXPECT_NE(name[0], '.') << "temporary file left: " << name;
    }
}

TEST(ConvertSafety, InputsThatAreNotFilesOrEndEarly) {
    TempDirectory dir;
    const std::string calibrations = dir.makeDirectory("calibrations");
    RunOptions options;
    options.timeoutSeconds = 60;
    auto convert = [&](const std::vector<std::string>& inputs, const std::string& output,
                       bool pipeInput = false) {
        std::vector<std::string> args{"convert", "--calibrations", calibrations,
                                      "--quiet", "--bits",         "float"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.push_back(output);
        options.pipeInput = pipeInput;
        return runTool(args, dir.path(), options);
    };

    // Never opened in a way that waits: refused at once, whoever writes to them.
    ASSERT_EQ(mkfifo(dir.file("stream.wav").c_str(), 0644), 0);
    const std::string stream = ": cannot read: is a pipe or FIFO, not a regular file (save the "
                               "stream to a file first)";
    const std::pair<std::string, bool> streams[] = {{"stream.wav", false}, {"/dev/stdin", true}};
    for (const auto& [input, pipe] : streams) {
        SCOPED_TRACE(input);
        const RunResult run = convert({input}, "out.wav", pipe);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(lines(run.err), std::vector<std::string>{"xetetra: " + input + stream});
    }

    // Files cut short after their headers were written: what is there is converted, exactly as
    // a whole file holding only those frames, and said so with exit status 3.
    const Channels recording = testRecording(10000);
    const struct {
        const char* name;
        int format;
        long cut; // bytes taken off the end
    } formats[] = {
        {"short.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1000 * 16 + 5},
        {"short.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 3000 * 16},
        {"short.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 20000},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.file(f.name);
        ASSERT_TRUE(writeSound(path, recording, 48000, f.format));
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        ASSERT_EQ(truncate(path.c_str(), status.st_size - f.cut), 0);
        // What libsndfile gives of it, frame by frame, and why it stopped.
        SF_INFO info = {};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        std::vector<float> samples(static_cast<size_t>(10000 * 4));
        const sf_count_t got = sf_readf_float(file, samples.data(), 10000);
        const std::string reason = sf_error(file) != 0 ? sf_strerror(file) : "";
        sf_close(file);
        Channels present(4, std::vector<float>(static_cast<size_t>(got)));
        for (sf_count_t i = 0; i < got; ++i)
            for (size_t k = 0; k < 4; ++k)
                present[k][static_cast<size_t>(i)] = samples[static_cast<size_t>(i) * 4 + k];
        ASSERT_TRUE(writeFloatWav(dir.file("present.wav"), present));

        const std::string output = std::string("out-") + f.name + ".wav";
        const RunResult run = convert({f.name}, output);
        EXPECT_EQ(run.status, 3) << run.err;
        const std::string expected =
            info.frames < 10000
                // The header's sizes reach beyond the end: libsndfile reads up to the end.
                ? "xetetra: warning: " + std::string(f.name) +
                      ": ends early: its header announces " + std::to_string(f.cut) +
                      " bytes more than the file holds; converted the " + std::to_string(got) +
                      " frames it has"
                // The count in the header stands, and reading stops short.
                : "xetetra: warning: " + std::string(f.name) +
                      ": ends early: " + std::to_string(got) +
                      " of the 10000 frames its header announces could be read" +
                      (reason.empty() ? "" : " (" + reason + ")") + "; converted those";
        EXPECT_EQ(lines(run.err), std::vector<std::string>{expected});
        const RunResult whole = convert({"present.wav"}, "reference.wav");
        ASSERT_EQ(whole.status, 0) << whole.err;
        const Sound converted = readSound(dir.file(output));
        const Sound reference = readSound(dir.file("reference.wav"));
        ASSERT_TRUE(converted.ok && reference.ok);
        EXPECT_EQ(converted.frames(), static_cast<size_t>(got));
        EXPECT_TRUE(converted.channels == reference.channels);
        unlink(dir.file("present.wav").c_str());
        unlink(dir.file("reference.wav").c_str());
    }
}
