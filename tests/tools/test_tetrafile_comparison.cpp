// xetetra against tetrafile (Debian package tetraproc) on the same generated recordings and the
// same tetraproc calibration file: one test for each relation README ("Relation to tetrafile")
// documents. First, that tetrafile reads the calibration files these tests write whole.

#include "calibration/TetraFileWriter.h"
#include "dsp/FFTReal.h"
#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

using namespace tooltest;

namespace {

constexpr int kRate = 48000;
const char* const kTetrafile = "/usr/bin/tetrafile";

class TetrafileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(kTetrafile, X_OK), 0)
            << kTetrafile << " is missing: install tetraproc (scripts/install-deps.sh)";
        calibrations = dir.makeDirectory("calibrations");
    }

    // The mic1234 calibration with the stages of `enable`, as the only calibration.
    std::string writeCalibration(int enable) {
        tetrafile::TetraCalibration c = tetrafile::mic1234Calibration();
        c.enable = enable;
        const std::string path = calibrations + "/mic1234.tetra";
        EXPECT_TRUE(tetrafile::writeFile(path, c));
        return path;
    }

    Sound tetrafileRun(const std::string& calibration, const std::string& input,
                       const std::vector<std::string>& options = {}) {
        std::vector<std::string> args{"--wav", "--float"};
        args.insert(args.end(), options.begin(), options.end());
        const std::string output = dir.file("tetrafile.wav");
        unlink(output.c_str());
        args.insert(args.end(), {calibration, input, output});
        const RunResult run = runProgram(kTetrafile, args);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        Sound sound = readSound(output);
        EXPECT_TRUE(sound.ok);
        return sound;
    }

    // xetetra with the calibration's program and the options.
    Sound xetetraRun(const std::string& input, const std::vector<std::string>& options,
                     const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"convert",    "--force",   "--quiet",
                                      "--bits",     "float",     "--calibrations",
                                      calibrations, "--program", "mic1234"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), more.begin(), more.end());
        const std::string output = dir.file("xetetra.wav");
        args.insert(args.end(), {input, output});
        const RunResult run = runTool(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return readSound(output);
    }

    // A recording with an impulse of 0.5 at frame 0 on the given capsules.
    std::string impulseRecording(const std::string& name, size_t frames,
                                 std::vector<int> capsules) {
        Channels channels(4, std::vector<float>(frames, 0.0f));
        for (int c : capsules)
            channels[static_cast<size_t>(c)][0] = 0.5f;
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeSound(path, channels));
        return path;
    }

    TempDirectory dir;
    std::string calibrations;
};

// The plug-in's own stages switched off: LF filter, capsule equalisers, post-matrix set; and all
// three.
const std::vector<std::string> kLFEQOff = {"--set", "0=0", "--set", "7=0"},
                               kOwnOff = {"--set", "0=0", "--set", "7=0", "--set", "6=0"};

// The first `count` samples of the linear convolution of x and h, through the engine's FFT.
std::vector<double> convolve(const std::vector<float>& x, const std::vector<double>& h,
                             size_t count) {
    long n = 1;
    while (n < static_cast<long>(2 * count))
        n *= 2;
    FFTReal fft(n);
    std::vector<double> a(static_cast<size_t>(n), 0.0), b(static_cast<size_t>(n), 0.0);
    for (size_t i = 0; i < count && i < x.size(); ++i)
        a[i] = x[i];
    for (size_t i = 0; i < count && i < h.size(); ++i)
        b[i] = h[i];
    std::vector<double> A(static_cast<size_t>(n)), B(static_cast<size_t>(n)),
        C(static_cast<size_t>(n));
    fft.do_fft(A.data(), a.data());
    fft.do_fft(B.data(), b.data());
    // The layout keeps the real parts in the first half and imaginary parts of one sign in the
    // second; a product of two spectra in it is again in it.
    const size_t half = static_cast<size_t>(n / 2);
    C[0] = A[0] * B[0];
    C[half] = A[half] * B[half];
    for (size_t k = 1; k < half; ++k) {
        C[k] = A[k] * B[k] - A[half + k] * B[half + k];
        C[half + k] = A[k] * B[half + k] + A[half + k] * B[k];
    }
    std::vector<double> c(static_cast<size_t>(n));
    fft.do_ifft(C.data(), c.data());
    fft.rescale(c.data());
    c.resize(count);
    return c;
}

} // namespace

// tetrafile exits 0 on a truncated file and then uses its defaults, so each file is run once more
// with one message appended, which changes the output only if tetrafile read all before it.
TEST_F(TetrafileTest, CalibrationFilesAreReadWhole) {
    const std::string fixtures = std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/";
    tetrafile::TetraCalibration first = tetrafile::mic1234Calibration(), names = first;
    first.version = 1;
    names.copyright = std::string(63, 'c'); // tetraproc keeps 63 characters
    names.convolFile = "/usr/share/tetraproc/none.conv";
    ASSERT_TRUE(tetrafile::writeFile(dir.file("version1.tetra"), first));
    ASSERT_TRUE(tetrafile::writeFile(dir.file("names.tetra"), names));
    // One more matrix row, which swaps X and Y of the default microphone.
    const tetrafile::Bytes probe =
        tetrafile::message("/matrix/row",
                           {tetrafile::OscArg::Int(1), tetrafile::OscArg::Float(0.866f),
                            tetrafile::OscArg::Float(-0.866f), tetrafile::OscArg::Float(0.866f),
                            tetrafile::OscArg::Float(-0.866f)})
            .bytes();
    const std::string recording = dir.file("rec.wav");
    ASSERT_TRUE(writeSound(recording, testRecording(6000)));
    for (const std::string& file :
         {fixtures + "default.tetra", fixtures + "mic1234.tetra", fixtures + "version2.tetra",
          dir.file("version1.tetra"), dir.file("names.tetra")}) {
        SCOPED_TRACE(file);
        std::string bytes = readText(file);
        const Sound plain = tetrafileRun(file, recording);
        bytes.append(probe.begin(), probe.end());
        const Sound probed = tetrafileRun(dir.write("probed.tetra", bytes), recording);
        EXPECT_NE(probed.channels, plain.channels) << "tetrafile did not reach the end of the file";
    }
}

// With the plug-in's own filters off, tetrafile's output with the matrix alone is ours through its
// DC blocker: plainly, and with the orientation and order options of each, which must therefore
// map the channels alike.
TEST_F(TetrafileTest, MatrixOrientationAndOrderAreOursThroughTetrafilesDcBlocker) {
    // tetrafile's own DC blocker, measured from an impulse through its default microphone:
    // FuMa W is 0.5 x sqrt(1/2) of the four capsules.
    const Sound dcRun =
        tetrafileRun(std::string(XETETRA_SOURCE_DIR) + "/tests/fixtures/default.tetra",
                     impulseRecording("impulse.wav", 10 * kRate, {0, 1, 2, 3}));
    ASSERT_EQ(dcRun.frames(), static_cast<size_t>(10 * kRate));
    const double wGain = 0.5 * std::sqrt(0.5) * 4 * 0.5;
    std::vector<double> blocker(dcRun.frames());
    for (size_t i = 0; i < blocker.size(); ++i)
        blocker[i] = dcRun.channels[0][i] / wGain;

    // An uneven matrix and independent noise per capsule keep every output distinct.
    const size_t frames = 24000;
    ASSERT_TRUE(writeSound(dir.file("rec.wav"), testRecording(frames)));
    const std::string calibration = writeCalibration(2);
    const struct {
        std::vector<std::string> tetrafileOptions, xetetraOptions;
    } cases[] = {
        {{}, {}},
        {{"--invx"}, {"--invert", "x"}},
        {{"--invy", "--invz"}, {"--orientation", "inverted"}},
        {{"--endf", "--invx", "--invy", "--invz"}, {"--orientation", "endfire", "--invert", "zyx"}},
        // tetrafile's SN3D keeps the order W, X, Y, Z: ours is ACN; its W is 1.41423 times the
        // FuMa W, within 1e-5 of our sqrt(2).
        {{"--sn3d", "--endf", "--invy"},
         {"--order", "ambix", "--orientation", "endfire", "--invert", "y"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.tetrafileOptions));
        const Sound theirs = tetrafileRun(calibration, dir.file("rec.wav"), c.tetrafileOptions);
        Sound ours = xetetraRun(dir.file("rec.wav"), kOwnOff, c.xetetraOptions);
        ASSERT_EQ(theirs.frames(), frames);
        ASSERT_EQ(ours.frames(), frames);
        if (!c.xetetraOptions.empty() && c.xetetraOptions[0] == "--order")
            ours.channels = {ours.channels[0], ours.channels[3], ours.channels[1],
                             ours.channels[2]};
        for (int o = 0; o < 4; ++o) {
            const std::vector<double> predicted = convolve(ours.channels[o], blocker, frames);
            double worst = 0.0, peak = 0.0, plain = 0.0;
            for (size_t i = 0; i < frames; ++i) {
                worst = std::fmax(worst, std::fabs(predicted[i] - theirs.channels[o][i]));
                plain = std::fmax(plain, std::fabs(ours.channels[o][i] - theirs.channels[o][i]));
                peak = std::fmax(peak, std::fabs(theirs.channels[o][i]));
            }
            // tetrafile computes in single precision: 2e-5 of the peak is a few of its roundings.
            EXPECT_LT(worst, 2e-5 * peak) << "output " << o;
            // Without the blocker the low tones of the recording show the difference.
            EXPECT_GT(plain, 50.0 * worst) << "output " << o;
        }
    }
}

TEST_F(TetrafileTest, PostMatrixEqualiserHasTetrafilesResponse) {
    // Capsule 1 alone reaches every output. Ratios of the runs with and without the equaliser
    // leave the equaliser alone on both sides.
    const std::string impulse = impulseRecording("impulse.wav", kRate, {0});
    const Sound theirsWith = tetrafileRun(writeCalibration(2 | 8), impulse);
    const Sound theirsWithout = tetrafileRun(writeCalibration(2), impulse);
    const Sound oursWith = xetetraRun(impulse, kLFEQOff);
    const Sound oursWithout = xetetraRun(impulse, kOwnOff);
    for (int o = 0; o < 4; ++o)
        for (double f = 30.0; f < 20000.0; f *= 1.18) {
            const auto ratio = [f, o](const Sound& with, const Sound& without) {
                return dft(with.channels[o], f, kRate) / dft(without.channels[o], f, kRate);
            };
            const std::complex<double> theirs = ratio(theirsWith, theirsWithout),
                                       ours = ratio(oursWith, oursWithout);
            EXPECT_NEAR(20.0 * std::log10(std::abs(ours / theirs)), 0.0, 0.001)
                << "output " << o << " at " << f << " Hz";
            EXPECT_NEAR(std::arg(ours / theirs), 0.0, 1e-4)
                << "output " << o << " at " << f << " Hz";
        }
}
