#include "dsp/ABMatrix.h"
#include "dsp/HPFilter.h"
#include "dsp/HPFilter2.h"
#include "dsp/LFFilter.h"
#include "dsp/MitRegFilter.h"
#include "dsp/ParaEQ1Band.h"
#include "dsp/ParaEQ3Band.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace filtertest;

namespace {
double warp(double hz, double rate) {
    return std::tan(kPi * hz / rate);
}

// The analog prototypes the sections are bilinear transforms of, at the digital frequency f.
double highPass2Gain(double f, double fc, double d, double rate) {
    const double x = warp(f, rate) / warp(fc, rate);
    return x * x / std::hypot(1.0 - x * x, d * x);
}
double shelfGain(double f, double f1, double f2, double rate) {
    return std::hypot(warp(f, rate), warp(f2, rate)) / std::hypot(warp(f, rate), warp(f1, rate));
}

// The product of the sections' designed responses against the prototype, and the response
// measured from the running filter's impulse response against that design (rounding scaled by
// the largest gain the signal sees on its way). Single-precision coefficients and recursion err
// by a few ulps, amplified by the recursion.
void expectResponse(CFilter& whole, std::vector<const CIIRFilter*> sections, double cut,
                    double rate, double largestGain, const std::function<double(double)>& proto) {
    const auto h = run(whole, impulse(size_t(std::min(12.0 * rate / cut, 2e6)) + 2000));
    for (double f : {0.0, 0.25 * cut, 0.5 * cut, cut, 2.0 * cut, 4.0 * cut, 0.4 * rate}) {
        if (f > 0.4 * rate) continue;
        const double w = radians(f, rate);
        double design = 1.0, tol = 0.0;
        for (const CIIRFilter* s : sections)
            design *= sectionGain(*s, w), tol += 2e-6 + 1.5e-7 * sectionGain(*s, w, true);
        EXPECT_NEAR(design, proto(f), tol * proto(f) + 1e-9) << rate << " " << cut << " " << f;
        EXPECT_NEAR(std::abs(dftAt(h, w)), design, tol * largestGain)
            << rate << " " << cut << " " << f;
    }
    EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-5);
}

bool stable(const CMitRegFilter& f) {
    return std::isfinite(f.getA1()) && std::isfinite(f.getA2()) &&
           rootsInside(f.getA1(), f.getA2()) && f.getB0() == f.getA2() && f.getB1() == f.getA1();
}

} // namespace

// The sections against their analog prototypes at 44.1 to 192 kHz, measured and designed.
TEST(HighPassAndShelf, ResponsesMatchTheirPrototypesAtEveryRate) {
    CHPFilter hp(1000.0f);
    hp.setSamplingRate(44100.0f);
    expectResponse(hp, {&hp}, 1000.0, 44100.0, 1.0, [](double f) {
        const double x = warp(f, 44100.0) / warp(1000.0, 44100.0);
        return x / std::sqrt(1.0 + x * x);
    });
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        // The shelf and the two high-passes of the LF filter together; the first high-pass's
        // damping goes from 1.109 at 25 Hz to 1.618 at 50 Hz.
        const struct {
            float cut, boost;
            double d;
        } lfs[] = {{20, 150, 1.109},
                   {30, 50, 1.2108},
                   {37.5f, 20, 1.3635},
                   {40, 150, 1.4144},
                   {60, 250, 1.618}};
        for (auto [cut, boost, d] : lfs) {
            CLFFilter lf(cut, boost);
            lf.setSamplingRate(rate);
            EXPECT_NEAR(lf.getHighPass1().getD(), d, 5e-5) << cut;
            expectResponse(lf, {&lf.getShelf(), &lf.getHighPass1(), &lf.getHighPass2()}, cut, rate,
                           std::max(1.0, double(boost / cut)), [&](double f) {
                               return shelfGain(f, cut, boost, rate) *
                                      highPass2Gain(f, cut, d, rate) *
                                      highPass2Gain(f, cut, 1.618, rate);
                           });
        }
    }
}

TEST(LFFilter, RedesignsKeepTheirCharacter) {
    // At 384 kHz a 20 Hz cut leaves single-precision poles no margin: the high-passes move up to
    // the lowest stable frequency and stay high-passes.
    CLFFilter lf(20.0f, 150.0f);
    lf.setSamplingRate(384000.0f);
    for (const CHPFilter2* hp : {&lf.getHighPass1(), &lf.getHighPass2()}) {
        EXPECT_TRUE(rootsInside(hp->getA(0), hp->getA(1)));
        EXPECT_NEAR(sectionGain(*hp, radians(1000.0, 384000.0)), 1.0, 1e-3);
        EXPECT_LT(sectionGain(*hp, radians(5.0, 384000.0)), 0.1);
        EXPECT_EQ(sectionGain(*hp, 0.0), 0.0);
    }
    // A cut at 0 Hz (stable and finite: the hostile settings below): the shelf still 1 at
    // Nyquist, DC still cut.
    CLFFilter zero(0.0f, 150.0f);
    EXPECT_NEAR(sectionGain(zero.getShelf(), kPi), 1.0, 1e-6);
    EXPECT_EQ(sectionGain(zero.getHighPass2(), 0.0), 0.0);
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
                        relative ? f.setParametersRelative(freq, width, gain)
                                 : f.setParametersOctaves(freq, width, gain);
                        ASSERT_TRUE(stable(f));
                        const auto h = run(f, impulse(ringLength(f.getA1(), f.getA2())));
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
    // A centre at 0 Hz is designed at the smallest usable centre (stable: the hostile settings
    // below); a band of zero width, or one too narrow for its coefficients, has no effect: it
    // passes the signal.
    CMitRegFilter zero;
    zero.setParametersOctaves(0.0f, 1.0f, 6.0f);
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
    EXPECT_NEAR(std::abs(dftAt(run(loud, impulse(ringLength(loud.getA1(), loud.getA2()))),
                               radians(1000.0, 48000.0))) /
                    db2level(120.0f),
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

// Measured from impulse responses against the bilinear transform of the analog peak
// (s^2 + s V/Q + 1) / (s^2 + s/Q + 1), Q = sqrt(2^N) / (2^N - 1) for N octaves.
TEST(ParaEQ1Band, ResponseFollowsTheAnalogPeak) {
    const float rate = 44100.0f, gain = -15.0f, width = 2.0f;
    CParaEQ1Band band;
    band.setSamplingRate(rate);
    band.setParameters(3000.0f, width, gain);
    const auto h = run(band, impulse(ringLength(band.getA(0), band.getA(1))));
    const double p = std::pow(2.0, width), q = std::sqrt(p) / (p - 1.0);
    for (double f : {0.0, 1500.0, 3000.0, 6000.0, rate / 2.0}) {
        const double x = warp(f, rate) / warp(3000.0, rate), w = radians(f, rate);
        const double expected =
            std::hypot(1.0 - x * x, x * db2level(gain) / q) / std::hypot(1.0 - x * x, x / q);
        // Single-precision coefficients and recursion err by a few ulps, amplified by 1/|A|.
        const double tol = 2e-6 + 3e-7 * sectionGain(band, w, true);
        EXPECT_NEAR(std::abs(dftAt(h, w)) / expected, 1.0, tol) << f;
    }
}

// Extrapolated host parameters and hostile calibrations can ask for any frequency, width or gain:
// every section stays stable (the band sections remain allpass mixes, the shelf's zero stays
// inside the unit circle) and no output is infinite or NaN.
TEST(RecursiveFilters, HostileSettingsGiveStableFiniteFilters) {
    const float inf = std::numeric_limits<float>::infinity(),
                big = std::numeric_limits<float>::max();
    for (float rate : {32000.0f, 44100.0f, 192000.0f, 384000.0f})
        for (float f : {0.0f, 1e-30f, 1e-3f, 20.0f, 0.49f * rate, 0.5f * rate, 0.501f * rate,
                        20000.0f, rate, 1e30f, big, inf})
            for (float w : {-inf, -5.0f, 0.0f, 1e-7f, 1.0f, 50.0f, 0.5f * rate, 1e30f, inf})
                for (float g : {-big, -1000.0f, -15.0f, 0.0f, 15.0f, 1000.0f, big}) {
                    SCOPED_TRACE(testing::Message() << rate << " " << f << " " << w << " " << g);
                    CLFFilter lf(25.0f, 150.0f);
                    CMitRegFilter octaves, relative;
                    CParaEQ3Band three(f, w, g, 1000.0f, w, -g, f, 0.5f, g, g);
                    std::vector<CFilter*> all = {&lf, &octaves, &relative, &three};
                    for (CFilter* filter : all)
                        filter->setSamplingRate(rate);
                    lf.setFreqs(f, std::fabs(w));
                    octaves.setParametersOctaves(f, w, g);
                    relative.setParametersRelative(f, w, g);
                    ASSERT_TRUE(std::fabs(lf.getShelf().getA(0)) < 1.0f &&
                                std::fabs(lf.getShelf().getB(1)) <
                                    std::fabs(lf.getShelf().getB(0)));
                    for (const CHPFilter2* hp : {&lf.getHighPass1(), &lf.getHighPass2()})
                        ASSERT_TRUE(rootsInside(hp->getA(0), hp->getA(1)));
                    ASSERT_TRUE(stable(octaves) && stable(relative));
                    for (int b = 0; b < 3; ++b)
                        ASSERT_TRUE(stable(three.getBand(b)));
                    ASSERT_LE(three.getOutputGain(), db2level(120.0f));
                    for (CFilter* filter : all)
                        for (int block = 0; block < 2; ++block)
                            ASSERT_TRUE(allFinite(run(*filter, noise(256, 80 + block))));
                }
}
