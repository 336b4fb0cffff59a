// Calibrations directories built to break the import (unreadable entries are named by the
// calibrations command's tests): thousands of entries, symbolic-link loops, directories and FIFOs
// named like calibrations and coefficient files, names of 255 bytes, binary garbage with
// calibration extensions. The plug-in must load within a second (a functional bound: a host's scan
// gives up after some seconds), never block, and import exactly what is valid, with the same values
// as from a clean directory.

#include "integration/PluginFixture.h"
#include "params/ParameterConversions.h"
#include "support/SampleCalibrations.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Plugin = std::unique_ptr<vsthost::Plugin>;

class HostileCalibrations : public vsthost::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_EQ(std::system(("mkdir -p '" + root + "'").c_str()), 0);
    }
    std::string path(const std::string& name) const { return root + "/" + name; }
    void file(const std::string& name, const std::string& content) const {
        EXPECT_TRUE(
            tetrafile::writeBytes(path(name), tetrafile::Bytes(content.begin(), content.end())));
    }
    void link(const std::string& target, const std::string& name) const {
        EXPECT_EQ(symlink(target.c_str(), path(name).c_str()), 0) << name;
    }
    void fifo(const std::string& name) {
        EXPECT_EQ(mkfifo(path(name).c_str(), 0644), 0) << name;
        fifos.push_back(path(name));
    }
    // The valid text calibration "Valid", with coefficient files for 44.1 and 48 kHz, and lines
    // naming three more that the hostile directory makes a FIFO, a link loop and a directory.
    void writeValid(bool hostileCoefficients) {
        samplecal::TextCalibration calibration;
        calibration.name = "Valid";
        calibration.lfCut = 45.0f;
        calibration.gains[2] = -2.5f;
        ASSERT_TRUE(samplecal::writeTextCalibration(root, calibration));
        std::ofstream(path("Valid.txt"), std::ios::app) << "W W96\nVel VEL96\nW W88\n";
        ASSERT_TRUE(
            samplecal::writeTetraCalibration(root, "Tetra1234", tetrafile::mic1234Calibration()));
        if (!hostileCoefficients) return;
        fifo("Valid/W96");
        link("VEL96", "Valid/VEL96");
        mkdir(path("Valid/W88").c_str(), 0755);
    }
    // Loads the plug-in on a thread of its own and times it. Should it still run after ten
    // seconds, it is blocked (a FIFO opened for reading waits for a writer): every FIFO is then
    // given a writer until it gets through, and the test fails.
    Plugin loadGuarded() {
        using Clock = std::chrono::steady_clock;
        std::atomic<bool> finished{false};
        Plugin plugin;
        double seconds = 0.0;
        std::thread loader([&] {
            const Clock::time_point start = Clock::now();
            plugin = std::make_unique<vsthost::Plugin>(*library, &host);
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            finished.store(true);
        });
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (!finished.load() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (bool blocked = false; !finished.load(); blocked = true) {
            if (!blocked) ADD_FAILURE() << "loading blocked on a FIFO";
            for (const std::string& f : fifos)
                close(open(f.c_str(), O_WRONLY | O_NONBLOCK));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        loader.join();
        EXPECT_LT(seconds, 1.0);
        EXPECT_TRUE(plugin->ok());
        return plugin;
    }

    const std::string root = home.path() + "/Library/Audio/Plug-Ins/VST/calibrations";
    std::vector<std::string> fifos;
};

// Programs 2 to 7 by name; the unclaimed ones keep their "User n" names.
std::multiset<std::string> calibrationPrograms(const vsthost::Plugin& plugin) {
    std::multiset<std::string> names;
    for (int program = 2; program < kNumPrograms; ++program)
        if (plugin.text(effGetProgramNameIndexed, program) != "User " + std::to_string(program))
            names.insert(plugin.text(effGetProgramNameIndexed, program));
    return names;
}

// What a host sees of the program named `name`: its parameter values but the set number (which
// depends on how many sets other calibrations took), the name of its post-matrix set, and its
// output for noise at 48 kHz.
std::pair<std::vector<std::string>, vsthost::Channels> view(const vsthost::Plugin& plugin,
                                                            const std::string& name) {
    int program = 0;
    while (program < kNumPrograms && plugin.text(effGetProgramNameIndexed, program) != name)
        ++program;
    EXPECT_LT(program, kNumPrograms) << name;
    plugin.start();
    plugin.setProgram(program);
    std::vector<std::string> values;
    for (int index = 0; index < kNumParams; ++index)
        values.push_back(index == kPostMatrixFilter ? plugin.parameterDisplay(index)
                                                    : std::to_string(plugin.getParameter(index)));
    return {values, plugin.process(vsthost::noise(4096, 3), 4096)};
}

TEST_F(HostileCalibrations, LoadsFastAndImportsWhatIsValid) {
    std::multiset<std::string> expected = {"Valid", "Tetra1234"};
    writeValid(true);
    // Thousands of regular files with other names, and entries named like text calibrations
    // that are anything but regular files.
    for (int i = 0; i < 2500; ++i) {
        const std::string n = std::to_string(i);
        const std::string others[] = {"take" + n + ".wav", "notes" + n, n + ".iir", ".hidden" + n};
        file(others[i % 4], "not a calibration\n");
        if (i % 3 == 0) mkdir(path("dir" + n + ".txt").c_str(), 0755);
        if (i % 3 == 1) link(".", "here" + n + ".txt");
        if (i % 3 == 2) fifo("pipe" + n + ".txt");
    }
    // Binary garbage with a text calibration's extension is a calibration with no recognised
    // line: it still claims a program; one well-formed OSC message, which names the program,
    // then garbage, too.
    std::mt19937 random(1);
    tetrafile::Bytes garbage(4096),
        junk = tetrafile::message("/junk", {tetrafile::OscArg::Int(1)}).bytes();
    for (uint8_t& b : garbage)
        b = static_cast<uint8_t>(random());
    junk.insert(junk.end(), garbage.begin(), garbage.end());
    EXPECT_TRUE(tetrafile::writeBytes(path("garbage.txt"), garbage));
    EXPECT_TRUE(tetrafile::writeBytes(path("junk.tetra"), junk));
    expected.insert({"garbage", "junk"});
    // 255 bytes, the longest name an entry has: a calibration (its program name cut to 23
    // characters), a file and directories.
    file(std::string(251, 'L') + ".txt", "LF 60 90\n");
    expected.insert(std::string(23, 'L'));
    file(std::string(255, 'N'), "not a calibration\n");
    mkdir(path(std::string(251, 'D') + ".txt").c_str(), 0755);
    mkdir(path(std::string(249, 'T') + ".tetra").c_str(), 0755);
    // A FIFO named like a tetraproc calibration, and a link to a FIFO.
    fifo("pipe.tetra");
    link("pipe5.txt", "pipelink.txt");

    Plugin hostile = loadGuarded();
    EXPECT_EQ(calibrationPrograms(*hostile), expected);
    const auto valid = view(*hostile, "Valid"), tetra = view(*hostile, "Tetra1234");

    // The same calibrations from a clean directory.
    ASSERT_EQ(std::system(("rm -rf '" + root + "' && mkdir '" + root + "'").c_str()), 0);
    writeValid(false);
    Plugin clean = load();
    EXPECT_TRUE(view(*clean, "Valid") == valid);
    EXPECT_TRUE(view(*clean, "Tetra1234") == tetra);
}

TEST_F(HostileCalibrations, CalibrationsDirectoryThatIsALoopAFifoOrAFile) {
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        ASSERT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
        fifos.clear();
        ASSERT_TRUE(kind == 0   ? symlink("calibrations", root.c_str()) == 0
                    : kind == 1 ? mkfifo(root.c_str(), 0644) == 0
                                : static_cast<bool>(std::ofstream(root) << "LF 50\n"));
        if (kind == 1) fifos.push_back(root);
        EXPECT_TRUE(calibrationPrograms(*loadGuarded()).empty());
    }
}

} // namespace
