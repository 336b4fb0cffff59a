#include "dsp/HPFilter.h"
#include "dsp/HPFilter2.h"
#include "dsp/LFFilter.h"
#include "dsp/LowShelfFilter.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace filtertest;

namespace {

const float kRates[] = {44100.0f, 48000.0f, 96000.0f, 192000.0f};

double warp(double hz, double rate) {
    return std::tan(kPi * hz / rate);
}

// The analog prototypes the sections are the bilinear transforms of, at the digital frequency f.
double highPass1Gain(double f, double fc, double rate) {
    const double x = warp(f, rate) / warp(fc, rate);
    return x / std::sqrt(1.0 + x * x);
}
double highPass2Gain(double f, double fc, double d, double rate) {
    const double x = warp(f, rate) / warp(fc, rate);
    return x * x / std::hypot(1.0 - x * x, d * x);
}
double shelfGain(double f, double f1, double f2, double rate) {
    const double t = warp(f, rate);
    return std::hypot(t, warp(f2, rate)) / std::hypot(t, warp(f1, rate));
}
double lfGain(double f, double cut, double boost, double rate) {
    return shelfGain(f, cut, boost, rate) *
           highPass2Gain(f, cut, CLFFilter::dampingForCut(static_cast<float>(cut)), rate) *
           highPass2Gain(f, cut, 1.618, rate);
}

// Long enough for the slowest pole of a section at this cut-off to die out.
size_t settleLength(double cut, double rate) {
    return static_cast<size_t>(std::min(12.0 * rate / std::max(cut, 1.0), 2e6)) + 2000;
}

std::vector<double> coefficientsB(const CIIRFilter& f) {
    std::vector<double> b;
    for (int j = 0; j < f.getNumB(); ++j)
        b.push_back(f.getB(j));
    return b;
}
std::vector<double> coefficientsA(const CIIRFilter& f) {
    std::vector<double> a;
    for (int j = 0; j < f.getNumA(); ++j)
        a.push_back(f.getA(j));
    return a;
}

// |H(e^jw)| of a section's coefficients.
double response(const CIIRFilter& f, double w) {
    return std::abs(rationalAt(coefficientsB(f), coefficientsA(f), w));
}

// 1/|A(e^jw)|: how much the recursion amplifies a rounding error made at frequency w.
double noiseGain(const CIIRFilter& f, double w) {
    return std::abs(rationalAt({1.0}, coefficientsA(f), w));
}

// Single-precision coefficients are a few ulps off, single-precision recursion adds a few ulps
// per sample; both show through the noise gain. Relative, for a design against its prototype.
double designTolerance(const CIIRFilter& f, double w) {
    return 2e-6 + 1.5e-7 * noiseGain(f, w);
}
// Absolute, for a measured response against the design, for signals of unit size.
double runningTolerance(const CIIRFilter& f, double w) {
    return 2e-6 + 1.5e-7 * noiseGain(f, w);
}

bool sectionStable(const CIIRFilter& f) {
    if (f.getNumA() == 1) return std::fabs(f.getA(0)) < 1.0f;
    return rootsInside(f.getA(0), f.getA(1));
}

bool allCoefficientsFinite(const CIIRFilter& f) {
    for (int j = 0; j < f.getNumA(); ++j)
        if (!std::isfinite(f.getA(j))) return false;
    for (int j = 0; j < f.getNumB(); ++j)
        if (!std::isfinite(f.getB(j))) return false;
    return true;
}

} // namespace

TEST(HighPassAndShelf, StatedCoefficients) {
    CHPFilter hp(100.0f);
    EXPECT_EQ(hp.getFc(), 100.0f);
    EXPECT_EQ(hp.getB(0), 0.99349749f);
    EXPECT_EQ(hp.getB(1), -0.99349749f);
    EXPECT_EQ(hp.getA(0), -0.98699498f);

    CHPFilter2 hp2(25.0f, 1.109f);
    EXPECT_EQ(hp2.getFc(), 25.0f);
    EXPECT_EQ(hp2.getD(), 1.109f);
    EXPECT_EQ(hp2.getB(0), 0.99818605f);
    EXPECT_EQ(hp2.getB(1), -1.9963721f);
    EXPECT_EQ(hp2.getB(2), 0.99818605f);
    EXPECT_EQ(hp2.getA(0), -1.9963667f);
    EXPECT_EQ(hp2.getA(1), 0.99637741f);

    CLowShelfFilter shelf;
    shelf.setFreqs(25.0f, 150.0f);
    EXPECT_EQ(shelf.getB(0), 1.0081682f);
    EXPECT_EQ(shelf.getB(1), -0.98856467f);
    EXPECT_EQ(shelf.getA(0), -0.99673283f);
    const double dc = (double(shelf.getB(0)) + shelf.getB(1)) / (1.0 + shelf.getA(0));
    EXPECT_NEAR(dc, 6.0002, 5e-5);

    // The two-argument shelf constructor stores the corners and designs nothing yet.
    CLowShelfFilter later(25.0f, 150.0f);
    EXPECT_EQ(later.getF1(), 25.0f);
    EXPECT_EQ(later.getB(0), 0.0f);
    later.setSamplingRate(48000.0f);
    EXPECT_EQ(later.getB(0), 1.0081682f);
}

TEST(HighPassAndShelf, GainsAtCutOffZeroAndNyquist) {
    const double rate = 48000.0;
    CHPFilter hp(100.0f);
    const double wc = radians(100.0, rate);
    EXPECT_NEAR(response(hp, wc), 0.70711, 5e-6);
    EXPECT_NEAR(sineGain(hp, 100.0, rate, 20000, 48000), 0.70711, 2e-5);
    for (auto [d, expected] : {std::pair<float, double>{1.109f, 0.90172}, {1.618f, 0.61805}}) {
        CHPFilter2 hp2(25.0f, d);
        const double w = radians(25.0, rate);
        EXPECT_NEAR(response(hp2, w), expected, 5e-6) << d;
        // Running in single precision moves the gain by the recursion's rounding.
        EXPECT_NEAR(sineGain(hp2, 25.0, rate, 100000, 96000), expected, 1e-4) << d;
        hp2.clearBuffers();
        const auto h = impulseResponse(hp2, 200000);
        EXPECT_NEAR(std::abs(dftAt(h, w)), response(hp2, w), runningTolerance(hp2, w));
        EXPECT_NEAR(std::abs(dftAt(h, 0.0)), 0.0, runningTolerance(hp2, 0.0));
        EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-5);
        EXPECT_NEAR(response(hp2, kPi), 1.0, 1e-6);
        EXPECT_EQ(response(hp2, 0.0), 0.0);
    }
    // The two high-passes of an LF filter with a cut of 25 Hz or less, the shelf made flat.
    for (float cut : {25.0f, 20.0f}) {
        CLFFilter lf(cut, cut);
        EXPECT_NEAR(sineGain(lf, cut, rate, 150000, 96000), 0.557, 5e-4) << cut;
    }
    CLowShelfFilter shelf(25.0f, 150.0f);
    shelf.setSamplingRate(48000.0f);
    const auto h = impulseResponse(shelf, 50000);
    const double k1 = warp(25.0, rate), k2 = warp(150.0, rate);
    EXPECT_NEAR(std::abs(dftAt(h, 0.0)) / (k2 / k1), 1.0, runningTolerance(shelf, 0.0));
    EXPECT_NEAR(response(shelf, 0.0) / (k2 / k1), 1.0, designTolerance(shelf, 0.0));
    EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-6);
}

TEST(HighPassAndShelf, ResponsesMatchTheirAnalogPrototypesAtEveryRate) {
    for (float rate : kRates) {
        for (float fc : {20.0f, 25.0f, 100.0f, 1000.0f, 10000.0f}) {
            CHPFilter hp(fc);
            hp.setSamplingRate(rate);
            CHPFilter2 hp2(fc, 1.3f);
            hp2.setSamplingRate(rate);
            // The shelf's zero three times above its pole, or as far as below Nyquist.
            const float f2 = std::min(3.0f * fc, 0.45f * rate);
            CLowShelfFilter shelf;
            shelf.setSamplingRate(rate);
            shelf.setFreqs(fc, f2);
            const size_t n = settleLength(fc, rate);
            const auto h1 = impulseResponse(hp, n), h2 = impulseResponse(hp2, n),
                       hs = impulseResponse(shelf, n);
            for (double ratio : {0.0, 0.25, 0.5, 1.0, 2.0, 4.0}) {
                const double f = ratio * fc;
                if (f >= 0.45 * rate) continue;
                const double w = radians(f, rate);
                // The designs against the analog prototypes...
                EXPECT_NEAR(response(hp, w), highPass1Gain(f, fc, rate),
                            designTolerance(hp, w) * highPass1Gain(f, fc, rate) + 1e-9)
                    << rate << " " << fc << " " << f;
                EXPECT_NEAR(response(hp2, w), highPass2Gain(f, fc, 1.3, rate),
                            designTolerance(hp2, w) * highPass2Gain(f, fc, 1.3, rate) + 1e-9)
                    << rate << " " << fc << " " << f;
                EXPECT_NEAR(response(shelf, w) / shelfGain(f, fc, f2, rate), 1.0,
                            designTolerance(shelf, w))
                    << rate << " " << fc << " " << f;
                // ... and the running filters against their designs.
                EXPECT_NEAR(std::abs(dftAt(h1, w)), response(hp, w), runningTolerance(hp, w));
                EXPECT_NEAR(std::abs(dftAt(h2, w)), response(hp2, w), runningTolerance(hp2, w))
                    << rate << " " << fc << " " << f;
                EXPECT_NEAR(std::abs(dftAt(hs, w)), response(shelf, w),
                            runningTolerance(shelf, w) * response(shelf, 0.0));
            }
        }
    }
}

TEST(LFFilter, DampingFollowsTheCutFrequency) {
    CLFFilter lf;
    EXPECT_EQ(lf.getCut(), 25.0f);
    EXPECT_EQ(lf.getBoost(), 150.0f);
    const std::pair<float, float> table[] = {{25.0f, 1.109f}, {30.0f, 1.2108f}, {37.5f, 1.3635f},
                                             {50.0f, 1.618f}, {60.0f, 1.618f},  {10.0f, 1.109f},
                                             {40.0f, 1.4144f}};
    for (auto [cut, d] : table) {
        lf.setFreqs(cut, 150.0f);
        EXPECT_NEAR(lf.getHighPass1().getD(), d, 5e-5) << cut;
        EXPECT_EQ(lf.getHighPass2().getD(), 1.618f);
        EXPECT_EQ(lf.getHighPass1().getFc(), cut);
        EXPECT_EQ(lf.getHighPass2().getFc(), cut);
        EXPECT_EQ(lf.getShelf().getF1(), cut);
        EXPECT_EQ(lf.getShelf().getF2(), 150.0f);
    }
    EXPECT_EQ(CLFFilter::dampingForCut(25.0f), 1.109f);
    EXPECT_EQ(CLFFilter::dampingForCut(50.0f), 1.109f + 0.50900006f);
    EXPECT_EQ(1.618f - 1.109f, 0.50900006f);

    // Right after construction the first damping is 1.109 whatever the cut.
    CLFFilter at40(40.0f, 150.0f);
    EXPECT_EQ(at40.getHighPass1().getD(), 1.109f);
    at40.setSamplingRate(48000.0f);
    EXPECT_NEAR(at40.getHighPass1().getD(), 1.4144, 5e-5);
    CLFFilter again(40.0f, 150.0f);
    again.setFreqs(40.0f, 150.0f);
    EXPECT_EQ(again.getHighPass1().getD(), at40.getHighPass1().getD());
}

TEST(LFFilter, ResponseIsTheShelfAndFourthOrderHighPassAtEveryRate) {
    Messages messages;
    for (float rate : kRates) {
        for (float cut : {20.0f, 25.0f, 37.5f, 60.0f, 250.0f}) {
            for (float boost : {20.0f, 150.0f, 250.0f}) {
                CLFFilter lf(cut, boost);
                lf.setSamplingRate(rate);
                const CIIRFilter* sections[] = {&lf.getShelf(), &lf.getHighPass1(),
                                                &lf.getHighPass2()};
                const auto h = impulseResponse(lf, settleLength(cut, rate));
                for (double f :
                     {0.0, 0.5 * cut, double(cut), 2.0 * double(cut), 1000.0, 0.4 * rate}) {
                    const double w = radians(f, rate);
                    double design = 1.0, tolerance = 0.0;
                    for (const CIIRFilter* s : sections) {
                        design *= response(*s, w);
                        tolerance += designTolerance(*s, w);
                    }
                    const double prototype = lfGain(f, cut, boost, rate);
                    EXPECT_NEAR(design, prototype, tolerance * prototype + 1e-9)
                        << rate << " " << cut << " " << boost << " " << f;
                    // The shelf's gain (up to boost/cut) carries the high-passes' rounding.
                    const double measured = std::abs(dftAt(h, w));
                    EXPECT_NEAR(measured, design, tolerance * std::max(1.0, double(boost / cut)))
                        << rate << " " << cut << " " << boost << " " << f;
                }
                EXPECT_NEAR(std::abs(dftAt(h, kPi)), 1.0, 1e-5);
            }
        }
    }
    // Changing rates reads no coefficient entry: nothing to report.
    EXPECT_TRUE(messages.all.empty());
}

TEST(LFFilter, BlockSizeDoesNotChangeTheOutput) {
    const auto input = noise(100000, 70);
    auto whole = input;
    CLFFilter reference(30.0f, 120.0f);
    reference.setSamplingRate(44100.0f);
    reference.doFilter(whole.data(), 100000);
    for (size_t block : {size_t(1), size_t(64), size_t(4096), size_t(100000)}) {
        auto split = input;
        CLFFilter lf(30.0f, 120.0f);
        lf.setSamplingRate(44100.0f);
        runBlocks(lf, split, block);
        EXPECT_EQ(split, whole) << block;
    }
    auto uneven = input;
    CLFFilter lf(30.0f, 120.0f);
    lf.setSamplingRate(44100.0f);
    runUneven(lf, uneven);
    EXPECT_EQ(uneven, whole);
    // An empty block changes nothing; frequency changes keep the histories.
    auto x = noise(16, 71);
    const auto original = x;
    lf.doFilter(x.data(), 0);
    lf.doFilter(x.data(), -3);
    EXPECT_EQ(x, original);
}

TEST(LFFilter, FrequencyChangesKeepStateAndClearBuffersResets) {
    CLFFilter a(25.0f, 150.0f), b(25.0f, 150.0f);
    auto x = noise(2000, 72), y = x;
    a.doFilter(x.data(), 2000);
    b.doFilter(y.data(), 2000);
    a.setFreqs(40.0f, 100.0f);
    b.setFreqs(40.0f, 100.0f);
    b.clearBuffers();
    CLFFilter fresh(40.0f, 100.0f);
    fresh.setFreqs(40.0f, 100.0f);
    auto p = noise(500, 73), q = p, r = p;
    a.doFilter(p.data(), 500);
    b.doFilter(q.data(), 500);
    fresh.doFilter(r.data(), 500);
    EXPECT_EQ(q, r);
    EXPECT_NE(p, r);
}

// Host parameters outside 0..1 extrapolate 20 * 12.5^p: any frequency from 0 to infinity.
TEST(LFFilter, HostileFrequenciesGiveStableFiniteFilters) {
    const float inf = std::numeric_limits<float>::infinity();
    const float rates[] = {32000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 384000.0f};
    for (float rate : rates) {
        const float half = rate / 2.0f;
        const float frequencies[] = {
            0.0f,        1e-30f,        1e-3f,       0.128f,
            1.6f,        20.0f,         250.0f,      0.999f * half,
            half,        1.001f * half, 1.5f * half, rate,
            1.3f * rate, 1e6f,          1e30f,       std::numeric_limits<float>::max(),
            inf};
        for (float cut : frequencies) {
            for (float boost : frequencies) {
                CLFFilter lf(25.0f, 150.0f);
                lf.setSamplingRate(rate);
                lf.setFreqs(cut, boost);
                const CIIRFilter* sections[] = {&lf.getShelf(), &lf.getHighPass1(),
                                                &lf.getHighPass2()};
                for (const CIIRFilter* s : sections) {
                    ASSERT_TRUE(allCoefficientsFinite(*s)) << rate << " " << cut << " " << boost;
                    ASSERT_TRUE(sectionStable(*s)) << rate << " " << cut << " " << boost;
                }
                // The shelf's zero stays inside the unit circle too.
                ASSERT_LT(std::fabs(lf.getShelf().getB(1)), std::fabs(lf.getShelf().getB(0)));
                for (int block = 0; block < 4; ++block) {
                    auto x = noise(512, 80 + block);
                    lf.doFilter(x.data(), 512);
                    ASSERT_TRUE(allFinite(x)) << rate << " " << cut << " " << boost;
                }
            }
        }
    }
}

TEST(LFFilter, RedesignsKeepTheirCharacter) {
    // At 384 kHz a 20 Hz cut leaves single-precision second-order poles no margin: the
    // high-passes move up to the lowest stable frequency and stay high-passes.
    CLFFilter lf(20.0f, 150.0f);
    lf.setSamplingRate(384000.0f);
    EXPECT_TRUE(sectionStable(lf.getHighPass1()));
    EXPECT_TRUE(sectionStable(lf.getHighPass2()));
    EXPECT_GT(lf.getHighPass1().getFc(), 0.0f); // the setting itself is kept
    for (const CHPFilter2* hp : {&lf.getHighPass1(), &lf.getHighPass2()}) {
        EXPECT_NEAR(response(*hp, radians(1000.0, 384000.0)), 1.0, 1e-3);
        EXPECT_LT(response(*hp, radians(5.0, 384000.0)), 0.1);
        EXPECT_EQ(response(*hp, 0.0), 0.0);
    }

    // A cut at 0 Hz: the shelf pole moves to 1e-5 of the rate, the high-passes just above
    // their stability limit; the result is finite and still cuts DC.
    CLFFilter zero(0.0f, 150.0f);
    EXPECT_TRUE(sectionStable(zero.getShelf()));
    EXPECT_NEAR(response(zero.getShelf(), kPi), 1.0, 1e-6);
    EXPECT_EQ(response(zero.getHighPass2(), 0.0), 0.0);
    auto hz = impulseResponse(zero, 400000);
    EXPECT_TRUE(allFinite(hz));

    // Frequencies at or beyond half the rate are designed at 0.49 of the rate.
    CLFFilter high(25.0f, 24000.0f);
    CLowShelfFilter reference(25.0f, 0.49f * 48000.0f);
    reference.setSamplingRate(48000.0f);
    EXPECT_EQ(high.getShelf().getB(0), reference.getB(0));
    EXPECT_EQ(high.getShelf().getB(1), reference.getB(1));
    CHPFilter2 top(std::numeric_limits<float>::infinity(), 1.618f);
    CHPFilter2 topReference(0.49f * 48000.0f, 1.618f);
    EXPECT_EQ(top.getA(0), topReference.getA(0));
    EXPECT_EQ(top.getA(1), topReference.getA(1));
    CHPFilter hp(std::numeric_limits<float>::infinity());
    CHPFilter hpReference(0.49f * 48000.0f);
    EXPECT_EQ(hp.getA(0), hpReference.getA(0));
    // An unusable rate leaves every section passing its input.
    CHPFilter2 broken(100.0f, 1.0f);
    broken.setSamplingRate(0.0f);
    auto x = noise(100, 90), original = x;
    broken.doFilter(x.data(), 100);
    EXPECT_EQ(x, original);
}

TEST(LFFilter, NaNInputResetsAndSilenceEndsInZeros) {
    CLFFilter lf(30.0f, 150.0f), fresh(30.0f, 150.0f);
    lf.setFreqs(30.0f, 150.0f);
    fresh.setFreqs(30.0f, 150.0f);
    auto x = noise(512, 91);
    x[200] = std::numeric_limits<float>::quiet_NaN();
    lf.doFilter(x.data(), 512);
    EXPECT_TRUE(allFinite(x));
    // The shelf starts again from rest; the high-passes ring out what they held, so the output
    // joins that of a filter that never saw the NaN, up to the rounding noise single-precision
    // high-passes at 30 Hz carry (their recursion amplifies it some 1e5 times near 0 Hz).
    for (int k = 0; k < 40; ++k) {
        auto y = noise(512, 92 + k), z = y;
        lf.doFilter(y.data(), 512);
        fresh.doFilter(z.data(), 512);
        ASSERT_TRUE(allFinite(y));
        if (k == 39) {
            for (int n = 0; n < 512; ++n)
                EXPECT_NEAR(y[n], z[n], 1e-3);
        }
    }

    // After a burst, silence: the recursive state is flushed once it is negligible.
    int blocksWithSubnormals = 0;
    std::vector<float> block(512);
    for (int k = 0; k < 400; ++k) {
        std::fill(block.begin(), block.end(), 0.0f);
        fresh.doFilter(block.data(), 512);
        blocksWithSubnormals += countSubnormal(block) > 0;
        if (k >= 300) {
            for (float v : block)
                ASSERT_EQ(v, 0.0f) << k;
        }
    }
    EXPECT_LE(blocksWithSubnormals, 3);
}
