#include "dsp/ABMatrix.h"
#include "dsp/CoincidenceFilter.h"
#include "dsp/FFTFilter.h"
#include "dsp/FFTReal.h"
#include "dsp/FilterCoefficients.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace filtertest;

// Against a direct convolution in double with the taps normalised to their peak, 1024 samples
// late, in blocks shorter and longer than the frame. 1500 taps are used as 1024: the large taps
// beyond would change the normalisation and the response.
TEST(FFTFilter, EqualsDirectConvolutionOfAtMost1024Taps) {
    // 700 taps whose sums over even and over odd indices vanish: no gain at 0 Hz nor at half the
    // rate (the filter pairs those two bins, so only such a response makes it an exact FIR
    // filter); and two at the end of the 1024 that keep those sums.
    auto taps = noise(700, 7);
    for (size_t parity = 0; parity < 2; ++parity) {
        double sum = 0.0;
        for (size_t i = parity; i < 700; i += 2)
            sum += taps[i];
        for (size_t i = parity; i < 700; i += 2)
            taps[i] -= static_cast<float>(sum / 350);
    }
    taps.resize(1024, 0.0f);
    taps[1021] = 0.3f;
    taps[1023] = -0.3f;
    const float peak = *std::max_element(taps.begin(), taps.end());
    taps.resize(1500, 5.0f);
    Coefficients set(taps, {}, 44100.0f);
    const auto in = noise(4 * 4096 + 517, 11);
    CFFTFilter filter;
    filter.setCoefficients(&set);
    filter.setSamplingRate(44100.0f);
    filter.clearBuffers();
    const auto out = run(filter, in, {4093, 64, 9000});
    EXPECT_EQ(filter.getNumTaps(), 1024);
    for (size_t i = 0; i < in.size(); ++i) {
        double sum = 0.0;
        for (size_t k = 0; k < 1024 && k + kLatency <= i; ++k)
            sum += static_cast<double>(taps[k]) / peak * in[i - kLatency - k];
        ASSERT_NEAR(out[i], sum, 2e-6) << i;
    }
}

TEST(FFTFilter, RatesThatCannotBeDesignedForAreRefused) {
    CFFTFilter filter;
    const auto in = noise(8192, 5);
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
}

// The spacing shifts the curve (the measurements below); the strength scales its levels.
TEST(CoincidenceFilter, StrengthScalesTheCurveAndAFullCurveDesigns) {
    CCoincidenceFilter xyz(1, 2.3f, 0.5f), xyzFull(1, 2.3f, 1.0f);
    ASSERT_EQ(xyz.getNumPoints(), 33);
    for (int slot = 0; slot < 33; ++slot)
        EXPECT_EQ(xyz.getLevel(slot), xyzFull.getLevel(slot) * 0.5) << slot;

    // The 102nd and later addPoint calls are ignored; the fullest curve still designs.
    CBSplineFilter full;
    for (int i = 1; i <= 103; ++i)
        full.addPoint(100.0f * i, -0.01f * i);
    EXPECT_EQ(full.getNumPoints(), 102);
    EXPECT_EQ(full.getLevel(101), static_cast<double>(-0.01f * 101));
    design(full, 48000.0f);
    for (int k = 0; k < 2048; ++k)
        ASSERT_TRUE(std::isfinite(full.getResponse()[k]));
    EXPECT_NEAR(full.getResponse()[42], db2level(2.0f * -0.01f * 10.0f), 0.002);
}

// An impulse through each built-in filter, transformed after its 1024-sample delay: the design's
// magnitudes, and the curve table (the spline smooths the points, by up to 0.19 dB around the dip
// near 7 kHz; the final magnitude is exp of the sampled level, divided by 2 sqrt(2)).
TEST(CoincidenceFilter, MeasuredResponseFollowsDesignAndCurveTable) {
    for (float rate : {44100.0f, 48000.0f, 96000.0f})
        for (int kind = 0; kind < 2; ++kind)
            for (float spacing : {1.47f, 2.3f}) {
                SCOPED_TRACE(testing::Message() << rate << " " << kind << " " << spacing);
                CCoincidenceFilter filter(kind, spacing, 1.0f);
                filter.setSamplingRate(rate);
                filter.clearBuffers();
                const auto out = run(filter, impulse(8192), {512});
                for (size_t i = 0; i < kLatency; ++i)
                    ASSERT_EQ(out[i], 0.0f);
                const auto measured =
                    packedDft({out.begin() + kLatency, out.begin() + kLatency + 2048});
                for (int k = 1; k < 1024; ++k)
                    ASSERT_NEAR(pairDb(measured.data(), k), pairDb(filter.getResponse(), k), 1e-4)
                        << k;
                int compared = 0;
                for (int i = 0; i < CCoincidenceFilter::kCurvePoints; ++i) {
                    float freq, levelW, levelXYZ;
                    CCoincidenceFilter::getCurvePoint(i, &freq, &levelW, &levelXYZ);
                    const long bin = std::lround(freq * 1.47 / spacing / rate * 2048.0);
                    if (bin > 1023) continue;
                    const double sampled =
                        std::pow(10.0, 2.0 * (kind == 0 ? levelW : levelXYZ) / 20.0);
                    EXPECT_NEAR(pairDb(measured.data(), bin),
                                20.0 * std::log10(std::exp(sampled) / (2.0 * std::sqrt(2.0))), 0.25)
                        << freq;
                    ++compared;
                }
                EXPECT_GE(compared, rate < 48000.0f ? 30 : 31);
            }
}

// Too few points for a cubic, no finite curve, a point at 0 Hz; no coefficients, all-negative
// taps and a set lacking the rate (no positive peak to normalise to): the filter passes the
// signal through (pairs of 1 + 0j, 1024 samples late, as every pass-through response does).
TEST(CoincidenceFilter, DegenerateCurvesAndSetsPassThrough) {
    Coefficients negative({-0.5f, -1.0f, -0.25f}), otherRate({1.0f, 0.5f}, {}, 96000.0f);
    CFFTFilter noSet, negativeTaps, noRate;
    negativeTaps.setCoefficients(&negative);
    noRate.setCoefficients(&otherRate);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    CBSplineFilter empty, single(true), zeroHz;
    single.addPoint(1000.0f, -3.0f);
    for (float f : {0.0f, 1000.0f, 2000.0f})
        zeroHz.addPoint(f, 1.0f);
    CCoincidenceFilter otherKind(5, 1.47f, 1.0f), zeroSpacing(0, 0.0f, 1.0f),
        negativeSpacing(0, -1.47f, 1.0f), nanStrength(1, 1.47f, nan), loud(1, 1.47f, -1e30f);
    for (CFFTFilter* f : std::initializer_list<CFFTFilter*>{
             &empty, &single, &zeroHz, &otherKind, &zeroSpacing, &negativeSpacing, &nanStrength,
             &loud, &noSet, &negativeTaps, &noRate}) {
        design(*f, 48000.0f);
        EXPECT_TRUE(passThroughResponse(*f));
    }
    // Two points are enough: a real curve.
    CBSplineFilter two;
    two.addPoint(1000.0f, -3.0f);
    two.addPoint(5000.0f, -3.0f);
    design(two, 48000.0f);
    EXPECT_NEAR(20.0 * std::log10(two.getResponse()[100]), -6.0, 1e-4);
}
