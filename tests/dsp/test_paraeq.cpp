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

void set(CMitRegFilter& f, bool relative, float freq, float width, float gain) {
    if (relative)
        f.setParametersRelative(freq, width, gain);
    else
        f.setParametersOctaves(freq, width, gain);
}

bool stable(const CMitRegFilter& f) {
    return std::isfinite(f.getA1()) && std::isfinite(f.getA2()) &&
           rootsInside(f.getA1(), f.getA2()) && f.getB0() == f.getA2() && f.getB1() == f.getA1();
}

std::vector<float> impulseResponse(CMitRegFilter& f) {
    return run(f, impulse(ringLength(f.getA1(), f.getA2())));
}

} // namespace

// Changing the rate or clearBuffers keeps the state; only init clears it.
TEST(MitRegFilter, StateSurvivesRedesignsUntilInit) {
    CMitRegFilter f;
    f.setParametersOctaves(1000.0f, 1.0f, 9.0f);
    run(f, noise(300, 201));
    const double s1 = f.getState(0), s2 = f.getState(1);
    ASSERT_NE(s1, 0.0);
    f.setSamplingRate(96000.0f);
    f.clearBuffers();
    f.setParametersRelative(500.0f, 0.3f, -3.0f);
    // An empty block touches neither the buffer nor the state.
    auto y = noise(8, 202);
    const auto original = y;
    f.doFilter(y.data(), 0);
    f.doFilter(y.data(), -8);
    EXPECT_EQ(y, original);
    EXPECT_EQ(f.getState(0), s1);
    EXPECT_EQ(f.getState(1), s2);
    f.init();
    EXPECT_EQ(f.getState(0), 0.0);
    EXPECT_EQ(f.getState(1), 0.0);
}

// Measured from impulse responses across rates, centres, widths, gains and both width modes: 0 dB
// passes the signal (to rounding), the centre gain is V, 0 Hz and Nyquist are untouched, and the
// band edges (gain^2 = (1 + V^2) / 2, the allpass at +-90 degrees) sit at c -+ W/2 with cos c =
// cos(w0) cos(W/2) for the stated width W: in octaves widened for cuts and limited near Nyquist, in
// relative mode the bilinear image 2 atan(omega/2) of k2 = (1 - omega/2) / (1 + omega/2).
TEST(MitRegFilter, ResponseHasTheStatedCentreEdgesAndEnds) {
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f})
        for (float freq : {20.0f, 1000.0f, 15000.0f, 20000.0f})
            for (float width : {0.5f, 2.0f})
                for (float gain : {-15.0f, 0.0f, 6.0f})
                    for (bool relative : {false, true}) {
                        SCOPED_TRACE(testing::Message() << rate << " " << freq << " " << width
                                                        << " " << gain << " " << relative);
                        CMitRegFilter f;
                        f.setSamplingRate(rate);
                        set(f, relative, freq, width, gain);
                        ASSERT_TRUE(stable(f));
                        const auto h = impulseResponse(f);
                        const double v = std::pow(10.0, gain / 20.0), w0 = radians(freq, rate);
                        EXPECT_NEAR(std::abs(dftAt(h, w0)) / v, 1.0, 2e-5);
                        EXPECT_NEAR(std::abs(dftAt(h, 0.0)), 1.0, 1e-5);
                        EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-5);
                        double w;
                        if (relative) {
                            w = 2.0 * std::atan(radians(freq * width, rate) / 2.0);
                        } else {
                            const double hz =
                                freq * (std::pow(2.0, width / 2.0) - std::pow(2.0, -width / 2.0));
                            w = std::min(radians(hz, rate) / std::min(v, 1.0), 0.75 * (kPi - w0));
                        }
                        const double c = std::acos(std::cos(w0) * std::cos(w / 2.0));
                        const double edge = std::sqrt((1.0 + v * v) / 2.0);
                        for (double at : {c - w / 2.0, c + w / 2.0})
                            EXPECT_TRUE(at < 1e-3 || at > kPi - 1e-3 ||
                                        std::fabs(std::abs(dftAt(h, at)) / edge - 1.0) < 1e-4)
                                << at;
                        EXPECT_TRUE(gain != 0.0f ||
                                    withinUlp(run(f, noise(4096, 200)), noise(4096, 200)));
                    }
}

TEST(MitRegFilter, RedesignsAndLimitsKeepTheBandSound) {
    // 20 kHz at 32 kHz in octaves: the width limit turns negative; the band is designed at 0.49
    // of the rate with the same width.
    CMitRegFilter high, reference;
    high.setSamplingRate(32000.0f);
    reference.setSamplingRate(32000.0f);
    high.setParametersOctaves(20000.0f, 1.0f, 12.0f);
    reference.setParametersOctaves(0.49f * 32000.0f, 1.0f, 12.0f);
    EXPECT_EQ(high.getA1(), reference.getA1());
    EXPECT_EQ(high.getA2(), reference.getA2());

    // A centre at 0 Hz is designed at the smallest usable centre; a band of zero width, or one
    // too narrow for its coefficients, has no effect: it passes the signal.
    CMitRegFilter zero;
    zero.setParametersOctaves(0.0f, 1.0f, 6.0f);
    EXPECT_TRUE(stable(zero));
    EXPECT_FALSE(zero.isBypassed());
    CMitRegFilter narrow[3];
    narrow[0].setParametersRelative(1000.0f, 0.0f, 6.0f);
    narrow[1].setParametersOctaves(1000.0f, 0.0f, 15.0f);
    narrow[2].setParametersOctaves(1000.0f, 1e-9f, 15.0f);
    for (CMitRegFilter& f : narrow) {
        EXPECT_TRUE(f.isBypassed());
        const auto x = noise(300, 204);
        EXPECT_TRUE(withinUlp(run(f, x), x));
    }

    // Gains beyond +120 dB act as +120 dB.
    CMitRegFilter loud;
    loud.setParametersRelative(1000.0f, 0.5f, 1000.0f);
    EXPECT_NEAR(std::abs(dftAt(impulseResponse(loud), radians(1000.0, 48000.0))) / db2level(120.0f),
                1.0, 1e-4);

    // An unusable rate bypasses the band until a usable one arrives.
    CMitRegFilter broken;
    broken.setSamplingRate(0.0f);
    broken.setParametersOctaves(1000.0f, 1.0f, 12.0f);
    EXPECT_TRUE(broken.isBypassed());
    const auto x = noise(300, 205);
    EXPECT_TRUE(withinUlp(run(broken, x), x));
    broken.setSamplingRate(-48000.0f);
    EXPECT_TRUE(broken.isBypassed());
    broken.setSamplingRate(48000.0f);
    EXPECT_FALSE(broken.isBypassed());
}

TEST(ParaEQ1Band, LimitsAndResponse) {
    CParaEQ1Band eq, high, reference, loud;
    auto coefficients = [](const CParaEQ1Band& f) {
        return std::vector<float>{f.getB(0), f.getB(1), f.getB(2), f.getA(0), f.getA(1)};
    };
    eq.setParameters(1000.0f, 1.0f, 6.0f); // the width, which the measurements below leave open
    EXPECT_EQ(coefficients(eq),
              (std::vector<float>{1.0439034f, -1.8954200f, 0.86787212f, -1.8954200f, 0.91177541f}));

    // 20 kHz at 32 kHz is designed at 0.49 of the rate; the gain stops at +120 dB.
    high.setSamplingRate(32000.0f);
    reference.setSamplingRate(32000.0f);
    high.setParameters(20000.0f, 1.0f, 6.0f);
    reference.setParameters(0.49f * 32000.0f, 1.0f, 6.0f);
    EXPECT_EQ(coefficients(high), coefficients(reference));
    loud.setParameters(1000.0f, 1.0f, 1000.0f);
    EXPECT_NEAR(sectionGain(loud, radians(1000.0, 48000.0)) / db2level(120.0f), 1.0, 1e-3);

    // Measured from impulse responses at every rate: V at the centre, 1 at 0 Hz and at Nyquist.
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f})
        for (float gain : {-15.0f, 6.0f}) {
            CParaEQ1Band band;
            band.setSamplingRate(rate);
            band.setParameters(3000.0f, 0.5f, gain);
            const auto h = run(band, impulse(ringLength(band.getA(0), band.getA(1))));
            // Single-precision coefficients and recursion err by a few ulps, amplified by 1/|A|.
            for (auto [w, expected] :
                 {std::pair<double, double>{radians(3000.0, rate), db2level(gain)},
                  {0.0, 1.0},
                  {kPi, 1.0}}) {
                const double tol = 2e-6 + 3e-7 * sectionGain(band, w, true);
                EXPECT_NEAR(std::abs(dftAt(h, w)) / expected, 1.0, tol) << rate << " " << w;
            }
        }
}

TEST(ParaEQ2And3Band, BandsRunInOrderThenTheOutputGain) {
    // -6 dB output gain: exactly the n samples of the block scaled by 0.5011872.
    for (long n : {64L, 4096L, 1L}) {
        std::vector<float> buffer(n + 16, 0.75f);
        const auto signal = noise(n, 303);
        std::copy(signal.begin(), signal.end(), buffer.begin());
        CParaEQ2Band eq(1000.0f, 0.5f, 0.0f, 5000.0f, 0.5f, 0.0f, -6.0f);
        eq.doFilter(buffer.data(), n);
        for (long i = 0; i < n + 16; ++i)
            ASSERT_EQ(buffer[i], i < n ? signal[i] * 0.5011872f : 0.75f) << n << " " << i;
    }

    // Three bands at once, at another rate: band 1, band 2, band 3, then the output gain.
    CParaEQ3Band three(200.0f, 0.3f, -4.0f, 1500.0f, 0.4f, 6.0f, 9000.0f, 1.0f, 3.0f, -2.0f);
    CMitRegFilter b1, b2, b3;
    for (CFilter* f : std::initializer_list<CFilter*>{&three, &b1, &b2, &b3})
        f->setSamplingRate(96000.0f);
    b1.setParametersRelative(200.0f, 0.3f, -4.0f);
    b2.setParametersRelative(1500.0f, 0.4f, 6.0f);
    b3.setParametersRelative(9000.0f, 1.0f, 3.0f);
    const auto input = noise(20000, 304);
    auto q = run(b3, run(b2, run(b1, input)));
    for (auto& v : q)
        v *= db2level(-2.0f);
    EXPECT_EQ(run(three, input), q);
}
