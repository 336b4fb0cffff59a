#include "dsp/HPFilter.h"
#include "dsp/HPFilter2.h"
#include "dsp/LFFilter.h"
#include "dsp/LowShelfFilter.h"

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

// Single-precision coefficients and recursion err by a few ulps, amplified by the recursion.
double tolerance(const CIIRFilter& f, double w) {
    return 2e-6 + 1.5e-7 * sectionGain(f, w, true);
}

// The product of the sections' designed responses against the prototype, and the response
// measured from the running filter's impulse response against that design (rounding scaled by
// the largest gain the signal sees on its way).
void expectResponse(CFilter& whole, std::vector<const CIIRFilter*> sections, double cut,
                    double rate, double largestGain, const std::function<double(double)>& proto) {
    const auto h = run(whole, impulse(size_t(std::min(12.0 * rate / cut, 2e6)) + 2000));
    for (double f : {0.0, 0.25 * cut, 0.5 * cut, cut, 2.0 * cut, 4.0 * cut, 0.4 * rate}) {
        if (f > 0.4 * rate) continue;
        const double w = radians(f, rate);
        double design = 1.0, tol = 0.0;
        for (const CIIRFilter* s : sections)
            design *= sectionGain(*s, w), tol += tolerance(*s, w);
        EXPECT_NEAR(design, proto(f), tol * proto(f) + 1e-9) << rate << " " << cut << " " << f;
        EXPECT_NEAR(std::abs(dftAt(h, w)), design, tol * largestGain)
            << rate << " " << cut << " " << f;
    }
    EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-5);
}

} // namespace

// The sections against their analog prototypes at 44.1 to 192 kHz, measured and designed.
TEST(HighPassAndShelf, ResponsesMatchTheirPrototypesAtEveryRate) {
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        for (float fc : {25.0f, 1000.0f, 10000.0f}) {
            CHPFilter hp(fc);
            hp.setSamplingRate(rate);
            expectResponse(hp, {&hp}, fc, rate, 1.0, [&](double f) {
                const double x = warp(f, rate) / warp(fc, rate);
                return x / std::sqrt(1.0 + x * x);
            });
        }
        // The shelf and the two high-passes of the LF filter together; the first high-pass's
        // damping goes from 1.109 at 25 Hz to 1.618 at 50 Hz.
        const struct {
            float cut, boost;
            double d;
        } lfs[] = {{20, 150, 1.109}, {30, 50, 1.2108}, {37.5f, 20, 1.3635}, {60, 250, 1.618}};
        for (auto [cut, boost, d] : lfs) {
            CLFFilter lf(cut, boost);
            lf.setSamplingRate(rate);
            EXPECT_NEAR(lf.getHighPass1().getD(), d, 5e-5) << cut;
            EXPECT_EQ(lf.getHighPass2().getD(), 1.618f);
            expectResponse(lf, {&lf.getShelf(), &lf.getHighPass1(), &lf.getHighPass2()}, cut, rate,
                           std::max(1.0, double(boost / cut)), [&](double f) {
                               return shelfGain(f, cut, boost, rate) *
                                      highPass2Gain(f, cut, d, rate) *
                                      highPass2Gain(f, cut, 1.618, rate);
                           });
        }
    }
}

TEST(LFFilter, DampingFollowsTheCutOnceARateIsSet) {
    // Right after construction the first damping is 1.109 whatever the cut.
    CLFFilter at40(40.0f, 150.0f);
    EXPECT_EQ(at40.getHighPass1().getD(), 1.109f);
    at40.setSamplingRate(48000.0f);
    EXPECT_NEAR(at40.getHighPass1().getD(), 1.4144, 5e-5);
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
    // A cut at 0 Hz: finite, the shelf still 1 at Nyquist, DC still cut.
    CLFFilter zero(0.0f, 150.0f);
    EXPECT_NEAR(sectionGain(zero.getShelf(), kPi), 1.0, 1e-6);
    EXPECT_EQ(sectionGain(zero.getHighPass2(), 0.0), 0.0);
    EXPECT_TRUE(allFinite(run(zero, impulse(400000))));

    // Frequencies at or beyond half the rate are designed at 0.49 of the rate.
    CLFFilter high(25.0f, 24000.0f);
    CLowShelfFilter shelf(25.0f, 0.49f * 48000.0f);
    shelf.setSamplingRate(48000.0f);
    EXPECT_EQ(high.getShelf().getB(0), shelf.getB(0));
    EXPECT_EQ(high.getShelf().getB(1), shelf.getB(1));
    EXPECT_EQ(CHPFilter(std::numeric_limits<float>::infinity()).getA(0),
              CHPFilter(0.49f * 48000.0f).getA(0));
    // An unusable rate leaves a section passing its input.
    CHPFilter2 broken(100.0f, 1.0f);
    broken.setSamplingRate(0.0f);
    const auto x = noise(100, 90);
    EXPECT_EQ(run(broken, x), x);
}
