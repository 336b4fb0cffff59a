#include "dsp/ABMatrix.h"
#include "dsp/MitRegFilter.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace filtertest;

namespace {

const float kRates[] = {44100.0f, 48000.0f, 96000.0f, 192000.0f};

// Enough samples for the allpass to ring out: its slowest pole decides.
size_t ringLength(const CMitRegFilter& f) {
    const double a1 = f.getA1(), a2 = f.getA2();
    const std::complex<double> d = std::sqrt(std::complex<double>(a1 * a1 - 4.0 * a2, 0.0));
    const double radius = std::max(std::abs((-a1 + d) / 2.0), std::abs((-a1 - d) / 2.0));
    const double decay = radius > 0.0 ? -std::log(radius) : 10.0;
    return static_cast<size_t>(std::min(30.0 / decay, 4e6)) + 64;
}

// Where the band's gain is the mean square of centre and outside gains, |H|^2 = (1 + V^2) / 2:
// the allpass is at +-90 degrees there. For a second-order allpass with bandwidth W these two
// frequencies are c -+ W/2, with cos c = cos(w0) cos(W/2).
std::pair<double, double> bandEdges(double w0, double width) {
    const double c = std::acos(std::cos(w0) * std::cos(width / 2.0));
    return {c - width / 2.0, c + width / 2.0};
}

bool stable(const CMitRegFilter& f) {
    return std::isfinite(f.getA1()) && std::isfinite(f.getA2()) &&
           rootsInside(f.getA1(), f.getA2()) && f.getB0() == f.getA2() && f.getB1() == f.getA1();
}

} // namespace

TEST(MitRegFilter, StatedCoefficients) {
    CMitRegFilter f;
    EXPECT_EQ(f.getSamplingRate(), 48000.0f);
    EXPECT_EQ(f.getFrequency(), 2000.0f);
    EXPECT_EQ(f.getGain(), 0.0f);
    EXPECT_FALSE(f.isRelative());
    EXPECT_EQ(f.getBandwidth(), 1414.2136f);
    EXPECT_EQ(static_cast<float>(f.getB0()), 0.83011866f);
    EXPECT_EQ(f.getA2(), f.getB0());
    EXPECT_NEAR(f.getA1(), -1.7677589, 5e-8);
    EXPECT_EQ(f.getB1(), f.getA1());

    f.setParametersOctaves(2000.0f, 1.0f, -12.0f);
    EXPECT_EQ(static_cast<float>(f.getB0()), 0.44287127f);
    f.setParametersOctaves(2000.0f, 1.0f, 12.0f);
    EXPECT_EQ(static_cast<float>(f.getB0()), 0.83011866f);

    f.setParametersOctaves(20000.0f, 1.0f, 0.0f);
    EXPECT_EQ(static_cast<float>(f.getB0()), 0.66817862f);
    EXPECT_NEAR(f.getA1() / (1.0 + f.getB0()), 0.86602544, 5e-8);
    // That k2 is the limited width, 0.75 (pi - w0) = 0.39269909.
    EXPECT_NEAR(f.getB0(), (1.0 - std::tan(0.39269909 / 2.0)) / (1.0 + std::tan(0.39269909 / 2.0)),
                1e-7);

    f.setParametersRelative(1000.0f, 0.5f, 0.0f);
    EXPECT_TRUE(f.isRelative());
    EXPECT_EQ(f.getBandwidth(), 500.0f);
    EXPECT_EQ(static_cast<float>(f.getB0()), 0.93662411f);
    // Relative mode: no widening of cuts.
    f.setParametersRelative(1000.0f, 0.5f, -12.0f);
    EXPECT_EQ(static_cast<float>(f.getB0()), 0.93662411f);
}

TEST(MitRegFilter, ZeroGainPassesTheSignal) {
    const auto input = noise(4096, 200);
    for (float rate : kRates) {
        for (float freq : {20.0f, 1000.0f, 15000.0f}) {
            for (float width : {0.1f, 1.0f, 5.0f}) {
                for (bool relative : {false, true}) {
                    CMitRegFilter f;
                    f.setSamplingRate(rate);
                    if (relative)
                        f.setParametersRelative(freq, width, 0.0f);
                    else
                        f.setParametersOctaves(freq, width, 0.0f);
                    auto x = input;
                    f.doFilter(x.data(), 4096);
                    EXPECT_LE(maxUlps(x, input), 1) << rate << " " << freq << " " << width;
                }
            }
        }
    }
}

TEST(MitRegFilter, StateSurvivesRateAndParameterChangesButNotInit) {
    CMitRegFilter f;
    f.setParametersOctaves(1000.0f, 1.0f, 9.0f);
    auto x = noise(300, 201);
    f.doFilter(x.data(), 300);
    const double s1 = f.getState(0), s2 = f.getState(1);
    ASSERT_NE(s1, 0.0);
    f.setSamplingRate(96000.0f);
    f.clearBuffers();
    f.setParametersRelative(500.0f, 0.3f, -3.0f);
    EXPECT_EQ(f.getState(0), s1);
    EXPECT_EQ(f.getState(1), s2);
    // An empty block touches neither the buffer nor the state.
    auto y = noise(8, 202);
    const auto original = y;
    f.doFilter(y.data(), 0);
    f.doFilter(y.data(), -8);
    EXPECT_EQ(y, original);
    EXPECT_EQ(f.getState(0), s1);
    f.init();
    EXPECT_EQ(f.getState(0), 0.0);
    EXPECT_EQ(f.getState(1), 0.0);
    EXPECT_EQ(f.getFrequency(), 2000.0f);
    EXPECT_EQ(f.getSamplingRate(), 96000.0f); // init does not touch the rate
    EXPECT_FALSE(f.isRelative());
}

// The centre gain is V, 0 Hz and Nyquist are untouched and the band edges sit where a
// second-order allpass of the stated bandwidth puts them, across rates, centres, widths, gains.
TEST(MitRegFilter, ResponseHasTheStatedCentreEdgesAndEnds) {
    for (float rate : kRates) {
        for (float freq : {20.0f, 100.0f, 1000.0f, 5000.0f, 15000.0f, 20000.0f}) {
            for (float octaves : {0.5f, 1.0f, 3.0f, 5.0f}) {
                for (float gain : {-15.0f, -6.0f, 6.0f, 15.0f}) {
                    CMitRegFilter f;
                    f.setSamplingRate(rate);
                    f.setParametersOctaves(freq, octaves, gain);
                    ASSERT_TRUE(stable(f));
                    const auto h = impulseResponse(f, ringLength(f));
                    const double v = std::pow(10.0, gain / 20.0);
                    const double w0 = radians(freq, rate);
                    EXPECT_NEAR(std::abs(dftAt(h, w0)) / v, 1.0, 2e-5)
                        << rate << " " << freq << " " << octaves << " " << gain;
                    EXPECT_NEAR(std::abs(dftAt(h, 0.0)), 1.0, 1e-5);
                    EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-5);
                    // The octave width in radians, widened for cuts, limited near Nyquist.
                    const double hz =
                        freq * (std::pow(2.0, octaves / 2.0) - std::pow(2.0, -octaves / 2.0));
                    double width = radians(hz, rate) / (gain < 0.0f ? v : 1.0);
                    width = std::min(width, 0.75 * (kPi - w0));
                    const auto [lower, upper] = bandEdges(w0, width);
                    const double edge = std::sqrt((1.0 + v * v) / 2.0);
                    if (lower > 1e-3) {
                        EXPECT_NEAR(std::abs(dftAt(h, lower)) / edge, 1.0, 1e-4)
                            << rate << " " << freq << " " << octaves << " " << gain;
                    }
                    if (upper < kPi - 1e-3) {
                        EXPECT_NEAR(std::abs(dftAt(h, upper)) / edge, 1.0, 1e-4)
                            << rate << " " << freq << " " << octaves << " " << gain;
                    }
                }
            }
        }
    }
}

TEST(MitRegFilter, RelativeModeBandwidthIsTheFractionOfTheCentre) {
    for (float rate : kRates) {
        for (float freq : {50.0f, 1000.0f, 8000.0f}) {
            for (float rel : {0.1f, 0.5f, 2.0f}) {
                for (float gain : {-12.0f, 12.0f}) {
                    CMitRegFilter f;
                    f.setSamplingRate(rate);
                    f.setParametersRelative(freq, rel, gain);
                    const auto h = impulseResponse(f, ringLength(f));
                    const double v = std::pow(10.0, gain / 20.0), w0 = radians(freq, rate);
                    EXPECT_NEAR(std::abs(dftAt(h, w0)) / v, 1.0, 2e-5);
                    // k2 = (1 - W/2) / (1 + W/2) is the bilinear image of a bandwidth
                    // 2 atan(W/2) wide.
                    const double omega = radians(freq * rel, rate);
                    const auto [lower, upper] = bandEdges(w0, 2.0 * std::atan(omega / 2.0));
                    const double edge = std::sqrt((1.0 + v * v) / 2.0);
                    if (lower > 1e-3) {
                        EXPECT_NEAR(std::abs(dftAt(h, lower)) / edge, 1.0, 1e-4)
                            << rate << " " << freq << " " << rel;
                    }
                    if (upper < kPi - 1e-3) {
                        EXPECT_NEAR(std::abs(dftAt(h, upper)) / edge, 1.0, 1e-4)
                            << rate << " " << freq << " " << rel;
                    }
                }
            }
        }
    }
    // A running sine at the centre comes out V times larger.
    CMitRegFilter f;
    f.setSamplingRate(44100.0f);
    f.setParametersRelative(3000.0f, 0.3f, 6.0f);
    EXPECT_NEAR(sineGain(f, 3000.0, 44100.0, 20000, 44100), db2level(6.0f), 1e-5);
}

TEST(MitRegFilter, BlockSizeDoesNotChangeTheOutput) {
    const auto input = noise(100000, 203);
    auto whole = input;
    CMitRegFilter reference;
    reference.setParametersOctaves(700.0f, 0.7f, -9.0f);
    reference.doFilter(whole.data(), 100000);
    for (size_t block : {size_t(1), size_t(64), size_t(4096), size_t(100000)}) {
        auto split = input;
        CMitRegFilter f;
        f.setParametersOctaves(700.0f, 0.7f, -9.0f);
        runBlocks(f, split, block);
        EXPECT_EQ(split, whole) << block;
    }
    auto uneven = input;
    CMitRegFilter f;
    f.setParametersOctaves(700.0f, 0.7f, -9.0f);
    runUneven(f, uneven);
    EXPECT_EQ(uneven, whole);
}

// Host values outside 0..1 extrapolate: frequency 20 * 1000^p, width 5 p octaves, gain
// 30 p - 15 dB, so anything from 0 to infinity, of either sign, can arrive.
TEST(MitRegFilter, HostileSettingsGiveStableFiniteBands) {
    const float inf = std::numeric_limits<float>::infinity(),
                big = std::numeric_limits<float>::max();
    const float rates[] = {32000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 384000.0f};
    const float widths[] = {-inf, -1e30f, -5.0f, -0.1f, 0.0f, 1e-7f, 1.0f, 5.0f, 50.0f, 1e30f, inf};
    const float gains[] = {-big,  -1e30f, -1000.0f, -15.0f, 0.0f,
                           15.0f, 200.0f, 1000.0f,  1e30f,  big};
    int checked = 0;
    for (float rate : rates) {
        const float freqs[] = {0.0f,        1e-30f,   1.0f,         20.0f, 0.49f * rate,
                               0.5f * rate, 20000.0f, 0.75f * rate, rate,  1e6f,
                               1e30f,       big,      inf};
        for (bool relative : {false, true}) {
            for (float freq : freqs) {
                for (float width : widths) {
                    for (float gain : gains) {
                        CMitRegFilter f;
                        f.setSamplingRate(rate);
                        if (relative)
                            f.setParametersRelative(freq, width, gain);
                        else
                            f.setParametersOctaves(freq, width, gain);
                        ASSERT_TRUE(stable(f)) << rate << " " << relative << " " << freq << " "
                                               << width << " " << gain;
                        auto x = noise(256, 204);
                        f.doFilter(x.data(), 256);
                        ASSERT_TRUE(allFinite(x)) << rate << " " << relative << " " << freq << " "
                                                  << width << " " << gain;
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 6 * 2 * 13 * 11 * 10);
}

TEST(MitRegFilter, RedesignsAndLimitsKeepTheBandSound) {
    // 20 kHz at 32 kHz in octave mode: the width limit turns negative; the band is designed at
    // 0.49 of the rate with the same width, and 0 Hz and Nyquist stay untouched.
    CMitRegFilter high, reference;
    high.setSamplingRate(32000.0f);
    reference.setSamplingRate(32000.0f);
    high.setParametersOctaves(20000.0f, 1.0f, 12.0f);
    reference.setParametersOctaves(0.49f * 32000.0f, 1.0f, 12.0f);
    EXPECT_EQ(high.getFrequency(), 20000.0f); // the setting is kept as given
    EXPECT_EQ(high.getA1(), reference.getA1());
    EXPECT_EQ(high.getA2(), reference.getA2());
    const auto h = impulseResponse(high, ringLength(high));
    EXPECT_NEAR(std::abs(dftAt(h, 0.0)), 1.0, 1e-5);
    EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-5);
    EXPECT_NEAR(std::abs(dftAt(h, radians(0.49 * 32000.0, 32000.0))), db2level(12.0f), 1e-4);

    // A centre at 0 Hz or a zero width: designed at 1e-5 of the rate and the smallest width.
    CMitRegFilter zero;
    zero.setParametersOctaves(0.0f, 1.0f, 6.0f);
    EXPECT_TRUE(stable(zero));
    EXPECT_FALSE(zero.isBypassed());
    CMitRegFilter narrow;
    narrow.setParametersRelative(1000.0f, 0.0f, 6.0f);
    EXPECT_TRUE(stable(narrow));
    EXPECT_LT(narrow.getA2(), 1.0);

    // Gains beyond +120 dB act as +120 dB: the centre gain stops at 1e6.
    CMitRegFilter loud;
    loud.setParametersRelative(1000.0f, 0.5f, 1000.0f);
    const auto hl = impulseResponse(loud, ringLength(loud));
    EXPECT_NEAR(std::abs(dftAt(hl, radians(1000.0, 48000.0))) / db2level(120.0f), 1.0, 1e-4);

    // An unusable rate bypasses the band.
    CMitRegFilter broken;
    broken.setSamplingRate(0.0f);
    EXPECT_TRUE(broken.isBypassed());
    auto x = noise(300, 205), original = x;
    broken.setParametersOctaves(1000.0f, 1.0f, 12.0f);
    broken.doFilter(x.data(), 300);
    EXPECT_LE(maxUlps(x, original), 1);
    broken.setSamplingRate(-48000.0f);
    EXPECT_TRUE(broken.isBypassed());
    broken.setSamplingRate(48000.0f);
    EXPECT_FALSE(broken.isBypassed());
}

TEST(MitRegFilter, NaNInputResetsAndSilenceEndsInZeros) {
    for (float poison :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        CMitRegFilter f, fresh;
        f.setParametersOctaves(300.0f, 2.0f, 10.0f);
        fresh.setParametersOctaves(300.0f, 2.0f, 10.0f);
        auto x = noise(512, 206);
        x[17] = poison;
        f.doFilter(x.data(), 512);
        EXPECT_TRUE(allFinite(x));
        EXPECT_EQ(f.getState(0), 0.0);
        auto y = noise(512, 207), z = y;
        f.doFilter(y.data(), 512);
        fresh.doFilter(z.data(), 512);
        EXPECT_EQ(y, z);
    }
    CMitRegFilter f;
    auto burst = noise(512, 208);
    f.setParametersOctaves(2000.0f, 1.0f, 6.0f);
    f.doFilter(burst.data(), 512);
    int blocksWithSubnormals = 0;
    std::vector<float> block(512);
    for (int k = 0; k < 100; ++k) {
        std::fill(block.begin(), block.end(), 0.0f);
        f.doFilter(block.data(), 512);
        blocksWithSubnormals += countSubnormal(block) > 0;
        if (k >= 10) {
            for (float v : block)
                ASSERT_EQ(v, 0.0f) << k;
        }
    }
    EXPECT_LE(blocksWithSubnormals, 1);
    EXPECT_EQ(f.getState(0), 0.0);
    EXPECT_EQ(f.getState(1), 0.0);
}
