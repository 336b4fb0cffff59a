#include "dsp/FFTReal.h"
#include "test_fft_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

std::vector<double> randomSignal(size_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x)
        v = uniform(generator);
    return x;
}

} // namespace

TEST(FFTReal, ForwardAndInverseMatchTheDirectDftForEveryLength) {
    for (int bits = 0; bits <= 12; ++bits) {
        const long n = 1L << bits;
        SCOPED_TRACE(n);
        FFTReal fft(n);
        ASSERT_EQ(fft.get_length(), n);
        ASSERT_EQ(fft.get_nbr_bits(), bits);
        // Rounding grows with the transform's depth and the size of the values summed.
        const double tolerance = 1e-14 * (bits + 1) * std::sqrt(static_cast<double>(n)) * 4.0;

        const std::vector<double> x = randomSignal(n, 100 + bits);
        std::vector<double> f(n);
        fft.do_fft(f.data(), x.data());
        const std::vector<double> expected = fftref::packedDft(x);
        for (long k = 0; k < n; ++k)
            EXPECT_NEAR(f[k], expected[k], tolerance) << k;

        // Any array is a valid packed spectrum: invert a random one.
        const std::vector<double> packed = randomSignal(n, 200 + bits);
        std::vector<double> y(n);
        fft.do_ifft(packed.data(), y.data());
        const std::vector<double> inverse = fftref::packedInverse(packed);
        for (long i = 0; i < n; ++i)
            EXPECT_NEAR(y[i], inverse[i] * n, tolerance) << i;

        // Round trip: unscaled inverse then rescale gives the input back.
        std::vector<double> back(n);
        fft.do_ifft(f.data(), back.data());
        fft.rescale(back.data());
        for (long i = 0; i < n; ++i)
            EXPECT_NEAR(back[i], x[i], 1e-14 * (bits + 1)) << i;
    }
}

TEST(FFTReal, ImpulseSpectraAndTables) {
    // N = 2048, impulse at 0: 1.0 in the real parts 0 .. 1024, 0.0 in the imaginary parts.
    {
        FFTReal fft(2048);
        std::vector<double> x(2048, 0.0), f(2048, -1.0);
        x[0] = 1.0;
        fft.do_fft(f.data(), x.data());
        for (int i = 0; i <= 1024; ++i)
            EXPECT_EQ(f[i], 1.0) << i;
        for (int i = 1025; i < 2048; ++i)
            EXPECT_EQ(f[i], 0.0) << i;
    }
    // N = 16, impulse at 1: cos(2 pi k / 16) at k, +sin(2 pi k / 16) at 8 + k.
    {
        FFTReal fft(16);
        std::vector<double> x(16, 0.0), f(16);
        x[1] = 1.0;
        fft.do_fft(f.data(), x.data());
        for (int k = 0; k <= 8; ++k)
            EXPECT_NEAR(f[k], std::cos(2.0 * kPi * k / 16.0), 1e-15) << k;
        for (int k = 1; k < 8; ++k)
            EXPECT_NEAR(f[8 + k], std::sin(2.0 * kPi * k / 16.0), 1e-15) << k;
        EXPECT_NEAR(f[10], 0.7071, 5e-5);
    }
    // Bit reversal of 4 bits and the cosine tables of passes 3 .. 10.
    {
        FFTReal::BitReversedLUT lut(4);
        const int expected[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(lut.get_ptr()[i], expected[i]) << i;

        FFTReal::TrigoLUT trig(11);
        EXPECT_EQ(trig.get_size(), 1020);
        for (int pass = 3; pass < 11; ++pass) {
            const int count = 1 << (pass - 1);
            for (int i = 0; i < count; ++i)
                EXPECT_NEAR(trig.get_ptr(pass)[i], std::cos(i * kPi / (1 << pass)), 1e-15);
        }
        EXPECT_EQ(FFTReal::TrigoLUT(3).get_size(), 0);
    }
}
