#include "dsp/FFTFilter.h"
#include "dsp/FFTReal.h"
#include "dsp/FilterCoefficients.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

using namespace filtertest;

namespace {

// Taps whose sums over even and over odd indices vanish: no gain at 0 Hz nor at half the rate.
// The filter pairs those two bins, so only such a response makes it an exact FIR filter.
std::vector<float> tapsWithoutDcAndNyquist(size_t n, unsigned seed) {
    std::vector<float> taps = noise(n, seed);
    for (size_t parity = 0; parity < 2; ++parity) {
        double sum = 0.0;
        for (size_t i = parity; i < n; i += 2)
            sum += taps[i];
        for (size_t i = parity; i < n; i += 2)
            taps[i] -= static_cast<float>(sum / ((n - parity + 1) / 2));
    }
    return taps;
}

// A filter on the set at the rate, its frame restarted.
struct Ready : CFFTFilter {
    Ready(CFilterCoefficients* set, float rate, bool minPhase = false) : CFFTFilter(minPhase) {
        setCoefficients(set);
        setSamplingRate(rate);
        clearBuffers();
    }
};

} // namespace

// Forward against the direct DFT; the inverse of the direct DFT, rescaled, gives the input back,
// and so does rescale after do_ifft after do_fft.
TEST(FFTReal, ForwardAndInverseMatchTheDirectDftForEveryLength) {
    for (int bits = 0; bits <= 12; ++bits) {
        const long n = 1L << bits;
        SCOPED_TRACE(n);
        FFTReal fft(n);
        // Rounding grows with the transform's depth and the size of the values summed.
        const double tolerance = 4e-14 * (bits + 1) * std::sqrt(static_cast<double>(n));
        const auto samples = noise(n, 100 + bits);
        const std::vector<double> x(samples.begin(), samples.end()), spectrum = packedDft(x);
        std::vector<double> f(n), y(n), back(n);
        fft.do_fft(f.data(), x.data());
        fft.do_ifft(spectrum.data(), y.data());
        fft.rescale(y.data());
        fft.do_ifft(f.data(), back.data());
        fft.rescale(back.data());
        for (long i = 0; i < n; ++i) {
            ASSERT_NEAR(f[i], spectrum[i], tolerance) << i;
            ASSERT_NEAR(y[i], x[i], 1e-14 * (bits + 1)) << i;
            ASSERT_NEAR(back[i], x[i], 1e-14 * (bits + 1)) << i;
        }
    }
}

// No coefficients, all-negative taps and a set lacking the rate leave no positive peak to
// normalise to: pairs of 1 + 0j, an exact delay of 1024 samples.
TEST(FFTFilter, PassThroughResponseIsAnExactDelayOf1024) {
    Coefficients negative({-0.5f, -1.0f, -0.25f}), otherRate({1.0f, 0.5f}, {}, 96000.0f);
    for (CFilterCoefficients* set :
         std::vector<CFilterCoefficients*>{&negative, &otherRate, nullptr}) {
        Ready filter(set, 48000.0f);
        const auto in = noise(10000, 1), out = run(filter, in, {333});
        EXPECT_TRUE(passThroughResponse(filter));
        for (size_t i = 0; i < in.size(); ++i)
            ASSERT_EQ(out[i], i < kLatency ? 0.0f : in[i - kLatency]) << i;
    }
}

// Against a direct convolution in double with the taps normalised to their peak, 1024 samples
// late, in blocks shorter and longer than the frame. 1500 taps are used as 1024: the large taps
// beyond would change the normalisation and the response.
TEST(FFTFilter, EqualsDirectConvolutionOfAtMost1024Taps) {
    // 700 taps, and two at the end of the 1024 that keep the sums over even and odd taps.
    auto taps = tapsWithoutDcAndNyquist(700, 7);
    taps.resize(1024, 0.0f);
    taps[1021] = 0.3f;
    taps[1023] = -0.3f;
    const float peak = *std::max_element(taps.begin(), taps.end());
    taps.resize(1500, 5.0f);
    Coefficients set(taps, {}, 44100.0f);
    const auto in = noise(4 * 4096 + 517, 11);
    Ready filter(&set, 44100.0f);
    const auto out = run(filter, in, {4093, 64, 9000});
    EXPECT_EQ(filter.getNumTaps(), 1024);
    for (size_t i = 0; i < in.size(); ++i) {
        double sum = 0.0;
        for (size_t k = 0; k < 1024 && k + kLatency <= i; ++k)
            sum += static_cast<double>(taps[k]) / peak * in[i - kLatency - k];
        ASSERT_NEAR(out[i], sum, 2e-6) << i;
    }
}

TEST(FFTFilter, FramingRatesAndRedesignInMidFrame) {
    CFFTFilter filter;
    const auto in = noise(8192, 5);
    run(filter, in);
    // clearBuffers restarts the frame at 1024: the first 1024 outputs are zero.
    filter.clearBuffers();
    const auto again = run(filter, in, {1});
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(again[i], i < 1024 ? 0.0f : in[i - kLatency]) << i;
    // Rates that cannot be designed for are not taken.
    for (float rate : {96000.0f, 0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        filter.setSamplingRate(rate);
        EXPECT_TRUE(allFinite(run(filter, in)));
    }
    EXPECT_EQ(filter.getSamplingRate(), 96000.0f);
    // Designing directly for a bad rate with no design yet passes through.
    CFFTFilter fresh;
    fresh.internalSetSamplingRate(std::numeric_limits<float>::quiet_NaN());
    ASSERT_TRUE(fresh.hasDesign());
    EXPECT_TRUE(passThroughResponse(fresh));

    // Silence in, silence out, also across a redesign in mid-frame; finite input at the edge of
    // the float range stays finite where the gain exceeds 1.
    Coefficients set(noise(300, 21));
    set.put(44100.0f, noise(200, 22));
    Ready minimum(&set, 48000.0f, true);
    const std::vector<float> silence(6000, 0.0f);
    EXPECT_EQ(run(minimum, silence, {1500}), silence);
    minimum.setSamplingRate(44100.0f);
    EXPECT_EQ(run(minimum, silence, {256}), silence);
    Coefficients pair({1.0f, 1.0f, 0.5f});
    Ready loud(&pair, 48000.0f);
    const auto loudOut = run(loud, std::vector<float>(8192, FLT_MAX));
    EXPECT_TRUE(allFinite(loudOut));
    EXPECT_EQ(loudOut.back(), FLT_MAX);
}
