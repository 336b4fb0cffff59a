#include "dsp/ABMatrix.h"
#include "dsp/MitRegFilter.h"
#include "dsp/ParaEQ1Band.h"
#include "dsp/ParaEQ2Band.h"
#include "dsp/ParaEQ3Band.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace filtertest;

namespace {

const float kRates[] = {44100.0f, 48000.0f, 96000.0f, 192000.0f};

std::vector<double> coefficientsB(const CIIRFilter& f) {
    return {f.getB(0), f.getB(1), f.getB(2)};
}
std::vector<double> coefficientsA(const CIIRFilter& f) {
    return {f.getA(0), f.getA(1)};
}
double response(const CIIRFilter& f, double w) {
    return std::abs(rationalAt(coefficientsB(f), coefficientsA(f), w));
}
double noiseGain(const CIIRFilter& f, double w) {
    return std::abs(rationalAt({1.0}, coefficientsA(f), w));
}

// The analog peaking prototype (s^2 + s V/Q + 1) / (s^2 + s/Q + 1) at the digital frequency w.
double peakingGain(double w, double centreHz, double octaves, double dB, double rate) {
    const double x = std::tan(w / 2.0) / std::tan(kPi * centreHz / rate);
    const double p = std::pow(2.0, octaves), q = std::sqrt(p) / (p - 1.0),
                 v = std::pow(10.0, dB / 20.0);
    return std::abs(std::complex<double>(1.0 - x * x, x * v / q) /
                    std::complex<double>(1.0 - x * x, x / q));
}

// One band's stated response at w: (1 + A)/2 + V (1 - A)/2 with its allpass
// A(z) = (a2 + a1 z^-1 + z^-2) / (1 + a1 z^-1 + a2 z^-2).
std::complex<double> bandAt(const CMitRegFilter& band, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w), z2 = z1 * z1;
    const double a1 = band.getA1(), a2 = band.getA2(), v = std::pow(10.0, band.getGain() / 20.0);
    const std::complex<double> a = (a2 + a1 * z1 + z2) / (1.0 + a1 * z1 + a2 * z2);
    return (1.0 + a) / 2.0 + v * (1.0 - a) / 2.0;
}

size_t ringLength(double a1, double a2) {
    const std::complex<double> d = std::sqrt(std::complex<double>(a1 * a1 - 4.0 * a2, 0.0));
    const double radius = std::max(std::abs((-a1 + d) / 2.0), std::abs((-a1 - d) / 2.0));
    return static_cast<size_t>(std::min(30.0 / -std::log(radius), 4e6)) + 64;
}

} // namespace

TEST(ParaEQ1Band, StatedCoefficients) {
    CParaEQ1Band eq;
    EXPECT_EQ(eq.getFrequency(), 2000.0f);
    EXPECT_EQ(eq.getOctaves(), 1.0f);
    EXPECT_EQ(eq.getGain(), 0.0f);
    EXPECT_EQ(eq.getNumA(), 2);
    EXPECT_EQ(eq.getNumB(), 3);
    EXPECT_EQ(eq.getB(0), 1.0f);
    EXPECT_EQ(eq.getB(1), -1.7698948f);
    EXPECT_EQ(eq.getB(2), 0.83233005f);
    EXPECT_EQ(eq.getA(0), -1.7698948f);
    EXPECT_EQ(eq.getA(1), 0.83233005f);
    auto x = noise(4096, 300), original = x;
    eq.doFilter(x.data(), 4096);
    for (size_t n = 0; n < x.size(); ++n)
        ASSERT_NEAR(x[n], original[n], 1e-5);

    eq.setParameters(1000.0f, 1.0f, 6.0f);
    EXPECT_EQ(eq.getB(0), 1.0439034f);
    EXPECT_EQ(eq.getB(1), -1.8954200f);
    EXPECT_EQ(eq.getB(2), 0.86787212f);
    EXPECT_EQ(eq.getA(0), -1.8954200f);
    EXPECT_EQ(eq.getA(1), 0.91177541f);
}

TEST(ParaEQ1Band, CentreGainAndShapeMatchThePrototypeAtEveryRate) {
    for (float rate : kRates) {
        for (float freq : {100.0f, 1000.0f, 5000.0f, 15000.0f}) {
            for (float octaves : {0.5f, 1.0f, 2.0f, 4.0f}) {
                for (float gain : {-15.0f, -6.0f, 6.0f, 15.0f}) {
                    CParaEQ1Band eq;
                    eq.setSamplingRate(rate);
                    eq.setParameters(freq, octaves, gain);
                    const auto h = impulseResponse(eq, ringLength(eq.getA(0), eq.getA(1)));
                    for (double ratio : {0.0, 0.5, 1.0, 1.5, 2.0}) {
                        const double w = radians(ratio * freq, rate);
                        if (w > 0.9 * kPi) continue;
                        const double prototype = peakingGain(w, freq, octaves, gain, rate);
                        const double tolerance = 1e-6 + 3e-7 * noiseGain(eq, w);
                        EXPECT_NEAR(response(eq, w) / prototype, 1.0, 2.0 * tolerance)
                            << rate << " " << freq << " " << octaves << " " << gain << " " << ratio;
                        EXPECT_NEAR(std::abs(dftAt(h, w)), response(eq, w),
                                    tolerance * std::max(1.0, prototype))
                            << rate << " " << freq << " " << octaves << " " << gain << " " << ratio;
                    }
                    // At the centre the prototype is exactly V.
                    EXPECT_NEAR(peakingGain(radians(freq, rate), freq, octaves, gain, rate),
                                db2level(gain), 1e-6);
                }
            }
        }
    }
}

TEST(ParaEQ1Band, HostileSettingsGiveStableFiniteSections) {
    const float inf = std::numeric_limits<float>::infinity(),
                big = std::numeric_limits<float>::max();
    for (float rate : {32000.0f, 48000.0f, 192000.0f}) {
        const float freqs[] = {0.0f,     1e-30f, 1.0f,  0.49f * rate, 0.5f * rate,
                               20000.0f, rate,   1e30f, inf};
        for (float freq : freqs) {
            for (float octaves : {-inf, -5.0f, 0.0f, 1e-6f, 1.0f, 50.0f, 1000.0f, inf}) {
                for (float gain : {-big, -1000.0f, 0.0f, 15.0f, 1000.0f, big}) {
                    CParaEQ1Band eq;
                    eq.setSamplingRate(rate);
                    eq.setParameters(freq, octaves, gain);
                    ASSERT_TRUE(rootsInside(eq.getA(0), eq.getA(1)))
                        << rate << " " << freq << " " << octaves << " " << gain;
                    auto x = noise(512, 301);
                    eq.doFilter(x.data(), 512);
                    ASSERT_TRUE(allFinite(x))
                        << rate << " " << freq << " " << octaves << " " << gain;
                }
            }
        }
    }
    // 20 kHz at 32 kHz is designed at 0.49 of the rate; the gain stops at +120 dB.
    CParaEQ1Band high, reference;
    high.setSamplingRate(32000.0f);
    reference.setSamplingRate(32000.0f);
    high.setParameters(20000.0f, 1.0f, 6.0f);
    reference.setParameters(0.49f * 32000.0f, 1.0f, 6.0f);
    EXPECT_EQ(high.getFrequency(), 20000.0f);
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(high.getB(j), reference.getB(j));
    CParaEQ1Band loud;
    loud.setParameters(1000.0f, 1.0f, 1000.0f);
    EXPECT_NEAR(response(loud, radians(1000.0, 48000.0)) / db2level(120.0f), 1.0, 1e-3);
}

TEST(ParaEQ2Band, ZeroGainsPassAndOutputGainScalesTheBlockOnly) {
    CParaEQ2Band flat(1000.0f, 0.5f, 0.0f, 5000.0f, 0.5f, 0.0f, 0.0f);
    EXPECT_EQ(flat.getOutputGain(), 1.0f);
    EXPECT_TRUE(flat.getBand(0).isRelative());
    EXPECT_EQ(flat.getBand(1).getBandwidth(), 2500.0f);
    const auto input = noise(5000, 302);
    auto x = input;
    flat.doFilter(x.data(), 5000);
    EXPECT_LE(maxUlps(x, input), 1);

    CParaEQ2Band quiet(1000.0f, 0.5f, 0.0f, 5000.0f, 0.5f, 0.0f, -6.0f);
    EXPECT_EQ(quiet.getOutputGain(), 0.5011872f);
    for (long n : {64L, 4096L, 1L}) {
        std::vector<float> buffer(n + 16, 0.75f);
        auto signal = noise(n, 303);
        std::copy(signal.begin(), signal.end(), buffer.begin());
        CParaEQ2Band eq(1000.0f, 0.5f, 0.0f, 5000.0f, 0.5f, 0.0f, -6.0f);
        eq.doFilter(buffer.data(), n);
        for (long i = 0; i < n; ++i)
            ASSERT_EQ(buffer[i], signal[i] * 0.5011872f) << n << " " << i;
        for (long i = n; i < n + 16; ++i)
            ASSERT_EQ(buffer[i], 0.75f);
    }
    // The default object passes the signal until it is given parameters.
    CParaEQ2Band plain;
    EXPECT_EQ(plain.getOutputGain(), 1.0f);
    auto y = input;
    plain.doFilter(y.data(), 5000);
    EXPECT_LE(maxUlps(y, input), 1);
}

TEST(ParaEQ3Band, BandsRunInOrderThenTheOutputGain) {
    const auto input = noise(20000, 304);
    // Only band 2 boosts: the same as one relative band.
    CParaEQ3Band eq(200.0f, 0.3f, 0.0f, 1500.0f, 0.4f, 6.0f, 9000.0f, 1.0f, 0.0f, 0.0f);
    CMitRegFilter single;
    single.setParametersRelative(1500.0f, 0.4f, 6.0f);
    auto x = input, y = input;
    eq.doFilter(x.data(), 20000);
    single.doFilter(y.data(), 20000);
    EXPECT_EQ(x, y);

    // Three bands at once: band 1, band 2, band 3, then the gain.
    CParaEQ3Band three(200.0f, 0.3f, -4.0f, 1500.0f, 0.4f, 6.0f, 9000.0f, 1.0f, 3.0f, -2.0f);
    CMitRegFilter b1, b2, b3;
    b1.setParametersRelative(200.0f, 0.3f, -4.0f);
    b2.setParametersRelative(1500.0f, 0.4f, 6.0f);
    b3.setParametersRelative(9000.0f, 1.0f, 3.0f);
    auto p = input, q = input;
    three.doFilter(p.data(), 20000);
    b1.doFilter(q.data(), 20000);
    b2.doFilter(q.data(), 20000);
    b3.doFilter(q.data(), 20000);
    for (auto& v : q)
        v *= db2level(-2.0f);
    EXPECT_EQ(p, q);
}

TEST(ParaEQ3Band, EveryBandReachesItsGainAtItsCentreAtEveryRate) {
    for (float rate : kRates) {
        for (float gain : {-12.0f, 9.0f}) {
            CParaEQ3Band eq;
            eq.setSamplingRate(rate);
            eq.setParameters(100.0f, 0.2f, gain, 1000.0f, 0.2f, -gain, 10000.0f, 0.2f, gain, 3.0f);
            const double out = db2level(3.0f);
            const double centres[] = {100.0, 1000.0, 10000.0};
            const double gains[] = {gain, -gain, gain};
            for (int b = 0; b < 3; ++b) {
                CParaEQ3Band fresh;
                fresh.setSamplingRate(rate);
                fresh.setParameters(100.0f, 0.2f, gain, 1000.0f, 0.2f, -gain, 10000.0f, 0.2f, gain,
                                    3.0f);
                const double settle = 40.0 * rate / (0.2 * centres[b]);
                const double measured =
                    sineGain(fresh, centres[b], rate, static_cast<size_t>(settle),
                             static_cast<size_t>(rate));
                const double w = radians(centres[b], rate);
                // The band's own gain exactly; its neighbours a decade away leave a trace.
                EXPECT_NEAR(std::abs(bandAt(eq.getBand(b), w)), std::pow(10.0, gains[b] / 20.0),
                            1e-6);
                double expected = out;
                for (int k = 0; k < 3; ++k)
                    expected *= std::abs(bandAt(eq.getBand(k), w));
                EXPECT_NEAR(measured / expected, 1.0, 2e-5) << rate << " " << gain << " " << b;
            }
        }
    }
}

TEST(ParaEQ3Band, RateStateAndInit) {
    CParaEQ3Band eq(500.0f, 0.5f, 6.0f, 2000.0f, 0.5f, 6.0f, 8000.0f, 0.5f, 6.0f, 0.0f);
    eq.setSamplingRate(96000.0f);
    EXPECT_EQ(eq.getBand(2).getSamplingRate(), 96000.0f);
    auto x = noise(1000, 305);
    eq.doFilter(x.data(), 1000);
    const double s = eq.getBand(1).getState(0);
    ASSERT_NE(s, 0.0);
    eq.clearBuffers();
    EXPECT_EQ(eq.getBand(1).getState(0), s);
    eq.init();
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(eq.getBand(b).getState(0), 0.0);
        EXPECT_EQ(eq.getBand(b).getFrequency(), 2000.0f);
        EXPECT_EQ(eq.getBand(b).getGain(), 0.0f);
        EXPECT_FALSE(eq.getBand(b).isRelative());
    }
}

TEST(ParaEQ3Band, BlockSizeDoesNotChangeTheOutput) {
    const auto input = noise(100000, 306);
    auto whole = input;
    CParaEQ3Band reference(90.0f, 0.5f, 4.0f, 900.0f, 1.0f, -5.0f, 9000.0f, 0.3f, 2.0f, -1.0f);
    reference.doFilter(whole.data(), 100000);
    for (size_t block : {size_t(1), size_t(64), size_t(4096), size_t(100000)}) {
        auto split = input;
        CParaEQ3Band eq(90.0f, 0.5f, 4.0f, 900.0f, 1.0f, -5.0f, 9000.0f, 0.3f, 2.0f, -1.0f);
        runBlocks(eq, split, block);
        EXPECT_EQ(split, whole) << block;
    }
}

TEST(ParaEQ3Band, HostileCalibrationValuesStayFinite) {
    const float inf = std::numeric_limits<float>::infinity();
    const float freqs[] = {0.0f, 20.0f, 24000.0f, 30000.0f, 1e30f, inf};
    const float widths[] = {-inf, -2.0f, 0.0f, 0.5f, 1e6f, inf};
    const float gains[] = {-1e30f, -20.0f, 20.0f, 1e30f};
    for (float f : freqs) {
        for (float w : widths) {
            for (float g : gains) {
                CParaEQ3Band eq(f, w, g, 1000.0f, w, -g, f, 0.5f, g, g);
                EXPECT_LE(eq.getOutputGain(), db2level(120.0f));
                for (int block = 0; block < 3; ++block) {
                    auto x = noise(512, 307 + block);
                    eq.doFilter(x.data(), 512);
                    ASSERT_TRUE(allFinite(x)) << f << " " << w << " " << g;
                }
            }
        }
    }
    // A NaN in the input costs the rest of that block, nothing after it.
    CParaEQ2Band eq(300.0f, 0.5f, 6.0f, 3000.0f, 0.5f, -6.0f, 0.0f);
    CParaEQ2Band fresh(300.0f, 0.5f, 6.0f, 3000.0f, 0.5f, -6.0f, 0.0f);
    auto x = noise(512, 310);
    x[300] = std::numeric_limits<float>::quiet_NaN();
    eq.doFilter(x.data(), 512);
    EXPECT_TRUE(allFinite(x));
    auto y = noise(512, 311), z = y;
    eq.doFilter(y.data(), 512);
    fresh.doFilter(z.data(), 512);
    // Band 1 starts from rest; band 2 rang on zeros and stays close to the fresh filter.
    for (int n = 0; n < 512; ++n)
        EXPECT_NEAR(y[n], z[n], 1e-3);
}
