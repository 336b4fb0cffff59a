// Calibrations directories built to break the import: thousands of entries, files nobody may
// read, symbolic-link loops, directories and FIFOs named like calibrations and coefficient files,
// names of 255 bytes, binary garbage with calibration extensions. The plug-in must load within a
// second (a functional bound: a host's scan gives up after some seconds), never block, and import
// exactly what is valid, with the same values as from a clean directory.

#include "params/ParameterConversions.h"
#include "core/XeTetra.h"
#include "integration/VstHost.h"
#include "support/SampleCalibrations.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kLoadLimitSeconds = 1.0;

using Channels = vsthost::Channels;

// Builds the entries of a directory and remembers its FIFOs, so that a loader blocked in one can
// be set free.
class Corpus {
public:
    explicit Corpus(std::string root) : root(std::move(root)) {
        std::string command = "mkdir -p '" + this->root + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string path(const std::string& name) const { return root + "/" + name; }

    void file(const std::string& name, const std::string& content) const {
        tetrafile::Bytes bytes(content.begin(), content.end());
        EXPECT_TRUE(tetrafile::writeBytes(path(name), bytes)) << name;
    }
    void bytes(const std::string& name, const tetrafile::Bytes& content) const {
        EXPECT_TRUE(tetrafile::writeBytes(path(name), content)) << name;
    }
    void directory(const std::string& name, mode_t mode = 0755) const {
        EXPECT_EQ(mkdir(path(name).c_str(), mode), 0) << name;
    }
    void link(const std::string& target, const std::string& name) const {
        EXPECT_EQ(symlink(target.c_str(), path(name).c_str()), 0) << name;
    }
    void fifo(const std::string& name) {
        EXPECT_EQ(mkfifo(path(name).c_str(), 0644), 0) << name;
        fifos.push_back(path(name));
    }

    // Entries for the thousands: regular files with other names, and entries named like text
    // calibrations that are anything but regular files.
    void thousands(int count) {
        char name[64];
        for (int i = 0; i < count / 2; ++i) {
            static const char* const patterns[] = {"take%04d.wav", "notes%04d", "coeff%04d.iir",
                                                   ".hidden%04d"};
            std::snprintf(name, sizeof(name), patterns[i % 4], i);
            file(name, "not a calibration\n");
        }
        for (int i = 0; i < count / 2;) {
            switch (i % 5) {
            case 0:
                std::snprintf(name, sizeof(name), "dir%04d.txt", i);
                directory(name);
                break;
            case 1:
                std::snprintf(name, sizeof(name), "gone%04d.txt", i);
                link("missing/nothing.txt", name);
                break;
            case 2: {
                char other[64];
                std::snprintf(name, sizeof(name), "loopa%04d.txt", i);
                std::snprintf(other, sizeof(other), "loopb%04d.txt", i);
                link(other, name);
                link(name, other);
                ++i;
                break;
            }
            case 3:
                std::snprintf(name, sizeof(name), "here%04d.txt", i);
                link(".", name);
                break;
            default:
                std::snprintf(name, sizeof(name), "pipe%04d.txt", i);
                fifo(name);
                break;
            }
            ++i;
        }
    }

    const std::string root;
    std::vector<std::string> fifos;
};

// Whether this process reads a file whose mode is 000 (root does).
bool readsUnreadableFiles(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    close(fd);
    return true;
}

struct LoadResult {
    double seconds = 0.0;
    bool blocked = false;
};

// Runs build on a thread of its own and times it. Should it still run after ten seconds, it is
// blocked (a FIFO opened for reading waits for a writer): every FIFO of the corpus is then given
// a writer until it gets through, and the result says it was blocked.
template <typename Build>
LoadResult loadGuarded(const std::vector<std::string>& fifos, Build build) {
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> finished{false};
    LoadResult result;
    std::thread loader([&] {
        const Clock::time_point start = Clock::now();
        build();
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        finished.store(true);
    });
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (!finished.load() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    while (!finished.load()) {
        result.blocked = true;
        for (const std::string& fifo : fifos) {
            const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    loader.join();
    return result;
}

// The program name a calibration file gets: its name up to the first ".", at most 23 characters.
std::string programNameOf(const std::string& fileName) {
    return fileName.substr(0, fileName.find('.')).substr(0, 23);
}

std::string text(AEffect* effect, VstInt32 opcode, VstInt32 index) {
    char buffer[256] = {};
    effect->dispatcher(effect, opcode, index, 0, buffer, 0.0f);
    return buffer;
}

// Programs 2 to 7 by name; the unclaimed ones keep their "User n" names.
std::multiset<std::string> calibrationPrograms(AEffect* effect) {
    std::multiset<std::string> names;
    for (int program = 2; program < kNumPrograms; ++program) {
        const std::string name = text(effect, effGetProgramNameIndexed, program);
        if (name != "User " + std::to_string(program)) names.insert(name);
    }
    return names;
}

int findProgram(AEffect* effect, const std::string& name) {
    for (int program = 0; program < kNumPrograms; ++program)
        if (text(effect, effGetProgramNameIndexed, program) == name) return program;
    return -1;
}

// What a host sees of one program: its parameter values, except the set number (which depends on
// how many sets other calibrations took), the name of its post-matrix set, and its output for a
// noise input at 48 kHz.
struct ProgramView {
    std::vector<float> values;
    std::string setName;
    Channels output;
};

Channels noiseInput(size_t frames) {
    Channels in = vsthost::makeChannels(frames);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    for (auto& channel : in)
        for (float& s : channel)
            s = uniform(random);
    return in;
}

ProgramView viewProgram(AEffect* effect, int program) {
    ProgramView view;
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    effect->dispatcher(effect, effSetProgram, 0, program, nullptr, 0.0f);
    for (int index = 0; index < kNumParams; ++index)
        if (index != kPostMatrixFilter) view.values.push_back(effect->getParameter(effect, index));
    view.setName = text(effect, effGetParamDisplay, kPostMatrixFilter);
    const Channels in = noiseInput(4096);
    view.output = vsthost::makeChannels(4096);
    float* inputs[4];
    float* outputs[4];
    for (int c = 0; c < 4; ++c) {
        inputs[c] = const_cast<float*>(in[static_cast<size_t>(c)].data());
        outputs[c] = view.output[static_cast<size_t>(c)].data();
    }
    effect->processReplacing(effect, inputs, outputs, 4096);
    return view;
}

void expectSameProgram(const ProgramView& hostile, const ProgramView& clean, const char* what) {
    EXPECT_EQ(hostile.values, clean.values) << what;
    EXPECT_EQ(hostile.setName, clean.setName) << what;
    EXPECT_TRUE(hostile.output == clean.output) << what;
}

// The valid text calibration "Valid": coefficient files for 44.1 and 48 kHz, and lines naming
// three more that the hostile directory makes a FIFO, a link loop and a directory.
void writeValidText(Corpus& corpus, bool hostileCoefficients) {
    samplecal::TextCalibration calibration;
    calibration.name = "Valid";
    calibration.lfCut = 45.0f;
    calibration.gains[2] = -2.5f;
    ASSERT_TRUE(samplecal::writeTextCalibration(corpus.root, calibration));
    FILE* file = std::fopen(corpus.path("Valid.txt").c_str(), "a");
    ASSERT_NE(file, nullptr);
    std::fputs("W W96\nVel VEL96\nW W88\n", file);
    std::fclose(file);
    if (!hostileCoefficients) return;
    corpus.fifo("Valid/W96");
    corpus.link("VEL96", "Valid/VEL96");
    corpus.directory("Valid/W88");
}

tetrafile::Bytes garbage(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    tetrafile::Bytes bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// Every hostile kind of entry, besides the thousands; answers the program names the import must
// give (the calibrations that are valid, or at least regular readable files).
std::multiset<std::string> writeHostileEntries(Corpus& corpus) {
    std::multiset<std::string> expected;
    writeValidText(corpus, true);
    expected.insert("Valid");

    // Binary garbage with a text calibration's extension is, for this format, a calibration
    // with no recognised line: it still claims a program.
    corpus.bytes("garbage.txt", garbage(4096, 1));
    expected.insert("garbage");

    // 255 bytes, the longest name a directory entry has: a text calibration and other entries.
    const std::string longCalibration = std::string(251, 'L') + ".txt";
    corpus.file(longCalibration, "LF 60 90\n");
    expected.insert(programNameOf(longCalibration));
    corpus.file(std::string(255, 'N'), "not a calibration\n");
    corpus.directory(std::string(251, 'D') + ".txt");

    // A file nobody but root may read, and a sealed directory named like a calibration.
    corpus.file("locked.txt", "LF 70 80\n");
    chmod(corpus.path("locked.txt").c_str(), 0);
    if (readsUnreadableFiles(corpus.path("locked.txt"))) expected.insert("locked");
    corpus.directory("sealed.txt", 0);

    // Links: a loop, a link to its own directory, a link to its parent, a dangling one.
    corpus.link("cycle2.txt", "cycle1.txt");
    corpus.link("cycle1.txt", "cycle2.txt");
    corpus.link("self.txt", "self.txt");
    corpus.link(".", "here.txt");
    corpus.link("..", "up.txt");
    corpus.link("/nonexistent/calibration.txt", "dangling.txt");

    // FIFOs named like calibrations; opening one for reading would wait for a writer forever.
    corpus.fifo("pipe.txt");
    corpus.link("pipe.txt", "pipelink.txt");

    EXPECT_TRUE(samplecal::writeTetraCalibration(corpus.root, "Tetra1234",
                                                 tetrafile::mic1234Calibration()));
    expected.insert("Tetra1234");
    // One well-formed message, which names the program, then garbage.
    tetrafile::Bytes junk = tetrafile::message("/junk", {tetrafile::OscArg::Int(1)}).bytes();
    const tetrafile::Bytes tail = garbage(2048, 2);
    junk.insert(junk.end(), tail.begin(), tail.end());
    corpus.bytes("junk.tetra", junk);
    expected.insert("junk");
    corpus.fifo("pipe.tetra");
    corpus.directory("folder.tetra");
    corpus.link("loop.tetra", "loop.tetra");
    corpus.link("..", "parent.tetra");
    corpus.directory(std::string(249, 'T') + ".tetra");
    return expected;
}

// A clean directory holding only the valid calibrations, for reference.
void writeCleanReference(Corpus& corpus) {
    writeValidText(corpus, false);
    EXPECT_TRUE(samplecal::writeTetraCalibration(corpus.root, "Tetra1234",
                                                 tetrafile::mic1234Calibration()));
}

class HostileCalibrations : public ::testing::Test {
protected:
    ScopedEnvironment environment;
};

// The processor a host's plug-in instance constructs, reading text and tetraproc calibrations
// from one directory; the shared object's own directory lookup is exercised below.
TEST_F(HostileCalibrations, LoadsFastAndImportsWhatIsValid) {
    TempDirectory directory;
    Corpus corpus(directory.path() + "/calibrations");
    corpus.thousands(5000);
    const std::multiset<std::string> expected = writeHostileEntries(corpus);

    std::unique_ptr<AXeTetra> processor;
    const LoadResult load = loadGuarded(corpus.fifos, [&] {
        processor = std::make_unique<AXeTetra>(nullptr, CCalibrationPaths::only(corpus.root));
    });
    EXPECT_FALSE(load.blocked) << "loading blocked on a FIFO";
    EXPECT_LT(load.seconds, kLoadLimitSeconds);

    AEffect* effect = processor->getAeffect();
    EXPECT_EQ(calibrationPrograms(effect), expected);
    const int valid = findProgram(effect, "Valid");
    const int tetra = findProgram(effect, "Tetra1234");
    ASSERT_GE(valid, 2);
    ASSERT_GE(tetra, 2);
    const ProgramView hostileValid = viewProgram(effect, valid);
    const ProgramView hostileTetra = viewProgram(effect, tetra);
    // The long name's own values arrived too.
    const int longProgram = findProgram(effect, std::string(23, 'L'));
    ASSERT_GE(longProgram, 2);
    effect->dispatcher(effect, effSetProgram, 0, longProgram, nullptr, 0.0f);
    EXPECT_EQ(text(effect, effGetParamDisplay, kLFCutFreq), " 60.0");

    TempDirectory cleanDirectory;
    Corpus clean(cleanDirectory.path() + "/calibrations");
    writeCleanReference(clean);
    AXeTetra reference(nullptr, CCalibrationPaths::only(clean.root));
    ASSERT_EQ(findProgram(reference.getAeffect(), "Valid"), 2);
    ASSERT_EQ(findProgram(reference.getAeffect(), "Tetra1234"), 3);
    expectSameProgram(hostileValid, viewProgram(reference.getAeffect(), 2), "Valid");
    expectSameProgram(hostileTetra, viewProgram(reference.getAeffect(), 3), "Tetra1234");
    EXPECT_EQ(hostileValid.setName, "Valid");
    EXPECT_EQ(hostileTetra.setName, "Tetra1234");
}

TEST_F(HostileCalibrations, CalibrationsDirectoryThatIsALoopAFifoOrAFile) {
    TempDirectory home;
    const std::string parent = home.path() + "/Library/Audio/Plug-Ins/VST";
    ASSERT_EQ(std::system(("mkdir -p '" + parent + "'").c_str()), 0);
    const std::string calibrations = parent + "/calibrations";
    environment.isolateCalibrations(home.path());
    vsthost::Library library(XETETRA_PLUGIN_PATH);
    ASSERT_TRUE(library.loaded()) << library.loadError();
    vsthost::HostState host;

    for (int kind = 0; kind < 3; ++kind) {
        std::vector<std::string> fifos;
        unlink(calibrations.c_str());
        if (kind == 0) {
            ASSERT_EQ(symlink("calibrations", calibrations.c_str()), 0);
        } else if (kind == 1) {
            ASSERT_EQ(mkfifo(calibrations.c_str(), 0644), 0);
            fifos.push_back(calibrations);
        } else {
            tetrafile::Bytes bytes{'L', 'F', ' ', '5', '0', '\n'};
            ASSERT_TRUE(tetrafile::writeBytes(calibrations, bytes));
        }
        std::unique_ptr<vsthost::Plugin> plugin;
        const LoadResult load =
            loadGuarded(fifos, [&] { plugin = std::make_unique<vsthost::Plugin>(library, &host); });
        EXPECT_FALSE(load.blocked) << "kind " << kind;
        EXPECT_LT(load.seconds, kLoadLimitSeconds) << "kind " << kind;
        ASSERT_TRUE(plugin->ok());
        EXPECT_TRUE(calibrationPrograms(plugin->record()).empty()) << "kind " << kind;
    }
}

} // namespace
