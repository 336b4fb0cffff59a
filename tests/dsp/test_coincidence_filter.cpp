#include "dsp/ABMatrix.h"
#include "dsp/CoincidenceFilter.h"
#include "dsp/FFTReal.h"
#include "test_fft_support.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using namespace fftref;

// The design as first written: the whole 108 x 2048 basis matrix, then the sums over it.
// Starts from the control points of a freshly built filter (slots 0 .. n - 1).
std::vector<double> fullMatrixDesign(const CBSplineFilter& filter, float rate) {
    const int n = filter.getNumPoints();
    std::vector<double> levels(n + 1), logFreqs(n + 1);
    for (int j = 0; j < n; ++j) {
        levels[j] = filter.getLevel(j);
        logFreqs[j] = filter.getLogFreq(j);
    }
    levels[0] = levels[1];
    levels[n] = levels[n - 1];
    logFreqs[n] = std::log(rate / 2.0);

    std::vector<double> knots(n + 6);
    knots[0] = 1e-6;
    knots[1] = 2e-6;
    knots[2] = 3e-6;
    knots[3] = 4e-6;
    const double h = 1.0 / (n - 1);
    for (int i = 0; i <= n - 3; ++i)
        knots[4 + i] = (i + 1) * h;
    knots[n + 2] = 0.999997;
    knots[n + 3] = 0.999998;
    knots[n + 4] = 0.999999;
    knots[n + 5] = 1.0;

    std::vector<std::vector<double>> basis(108, std::vector<double>(2048, 0.0));
    double t = 1e-5;
    int span = 0;
    for (int c = 0; c < 2048; ++c) {
        while (t >= knots[span])
            ++span;
        const int i = span - 1;
        for (int row = 0; row <= n + 4; ++row)
            basis[row][c] = 0.0;
        basis[i][c] = 1.0;
        for (int d = 2; d <= 4; ++d)
            for (int j = std::max(0, i - d + 1); j <= i; ++j)
                basis[j][c] = basis[j][c] * (t - knots[j]) / (knots[j + d - 1] - knots[j]) +
                              basis[j + 1][c] * (knots[j + d] - t) / (knots[j + d] - knots[j + 1]);
        t = t + 1.0 / 2048.0;
    }
    const int c0 = static_cast<int>((knots[3] - knots[0]) / (1.0 / 2048.0)) + 1;
    const int c1 = static_cast<int>((knots[n + 1] - knots[0]) / (1.0 / 2048.0));

    std::vector<double> response(2048, 0.0);
    long prev = 0;
    double level = 0.0;
    for (int c = c0 + 1; c <= c1; ++c) {
        level = 0.0;
        double logFreq = 0.0;
        for (int j = 0; j <= n; ++j)
            level += levels[j] * basis[j][c];
        for (int j = 0; j <= n; ++j)
            logFreq += logFreqs[j] * basis[j][c];
        const long bin = static_cast<long>(std::trunc(std::exp(logFreq) / (rate / 2.0) * 1024.0));
        for (long b = prev; b <= bin; ++b)
            if (b < 1024) response[b] = db2level(static_cast<float>(2.0 * level));
        prev = bin;
    }
    if (prev != 1023)
        for (long b = prev; b < 1024; ++b)
            response[b] = db2level(static_cast<float>(2.0 * level));
    for (int b = 1024; b < 2048; ++b)
        response[b] = 0.0;

    if (filter.getPhaseStep()) {
        FFTReal fft(2048);
        std::vector<double> work(2048);
        for (int k = 0; k < 1024; ++k) {
            response[k] =
                std::sqrt(response[k] * response[k] + response[1024 + k] * response[1024 + k]);
            response[1024 + k] = 0.0;
        }
        fft.do_ifft(response.data(), work.data());
        fft.rescale(work.data());
        for (int i = 1; i < 1024; ++i) {
            work[i] = work[i] * 2.0;
            work[1024 + i] = 0.0;
        }
        fft.do_fft(response.data(), work.data());
        for (int k = 0; k < 1024; ++k) {
            const double m = std::exp(response[k]) / (2.0 * std::sqrt(2.0));
            const double phi = response[1024 + k];
            response[k] = m * std::cos(phi);
            response[1024 + k] = m * std::sin(phi);
        }
    }
    return response;
}

// The final magnitude is exp of the sampled linear level, divided by 2 sqrt(2); the sampled
// level is twice the curve's level in dB.
double expectedDb(double curveDb) {
    const double sampled = std::pow(10.0, 2.0 * curveDb / 20.0);
    return 20.0 * std::log10(std::exp(sampled) / (2.0 * std::sqrt(2.0)));
}

void expectPassThrough(CFFTFilter& filter) {
    for (int k = 0; k < 1024; ++k) {
        ASSERT_EQ(filter.getResponse()[k], 1.0) << k;
        ASSERT_EQ(filter.getResponse()[1024 + k], 0.0) << k;
    }
    filter.clearBuffers();
    const std::vector<float> out = impulseThrough(filter, 4096);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], i == 1024 ? 1.0f : 0.0f) << i;
}

} // namespace

TEST(CoincidenceFilter, ConstructionStoresTheShiftedCurve) {
    CCoincidenceFilter w(0, 1.47f, 1.0f);
    EXPECT_EQ(w.getNumPoints(), 33);
    EXPECT_TRUE(w.getPhaseStep());
    EXPECT_EQ(w.getLevel(0), 0.0);
    // 1.47 in double against the float 1.47 (1.4700000286...): not exactly 1 Hz.
    EXPECT_NEAR(w.getLogFreq(0), -1.9e-8, 0.05e-8);
    const double shift = std::log(1.47 / static_cast<double>(1.47f));
    for (int i = 0; i < 32; ++i) {
        float freq, levelW, levelXYZ;
        CCoincidenceFilter::getCurvePoint(i, &freq, &levelW, &levelXYZ);
        EXPECT_EQ(w.getLevel(1 + i), static_cast<double>(levelW)) << i;
        EXPECT_EQ(w.getLogFreq(1 + i), std::log(static_cast<double>(freq)) + shift) << i;
    }

    // 2.3 cm: every slot, slot 0 included, lower by ln(2.3 / 1.47); levels scaled by strength.
    CCoincidenceFilter xyz(1, 2.3f, 0.5f);
    CCoincidenceFilter xyzFull(1, 1.47f, 1.0f);
    ASSERT_EQ(xyz.getNumPoints(), 33);
    for (int slot = 0; slot < 33; ++slot) {
        EXPECT_NEAR(xyz.getLogFreq(slot) - xyzFull.getLogFreq(slot), -std::log(2.3 / 1.47), 1e-7);
        EXPECT_EQ(xyz.getLevel(slot), xyzFull.getLevel(slot) * 0.5) << slot;
    }

    EXPECT_EQ(CCoincidenceFilter(5, 1.47f, 1.0f).getNumPoints(), 1);
    EXPECT_EQ(CCoincidenceFilter(-1, 1.47f, 1.0f).getNumPoints(), 1);

    // The design copies the level of slot 1 into slot 0 and writes the high end point.
    design(w, 48000.0f);
    EXPECT_EQ(w.getLevel(0), static_cast<double>(-6.013627f));
    EXPECT_EQ(w.getLevel(33), w.getLevel(32));
    EXPECT_EQ(w.getLogFreq(33), std::log(24000.0));
    EXPECT_EQ(w.getLogFreq(0), std::log(1.47 / static_cast<double>(1.47f)));
}

TEST(CoincidenceFilter, AddPointTakesAtMost101Points) {
    CBSplineFilter filter;
    EXPECT_EQ(filter.getNumPoints(), 1);
    EXPECT_FALSE(filter.getPhaseStep());
    for (int i = 1; i <= 101; ++i)
        filter.addPoint(100.0f * i, -0.01f * i);
    EXPECT_EQ(filter.getNumPoints(), 102);
    filter.addPoint(50000.0f, 12.0f);
    filter.addPoint(60000.0f, 13.0f);
    EXPECT_EQ(filter.getNumPoints(), 102);
    EXPECT_EQ(filter.getLevel(101), static_cast<double>(-0.01f * 101));
    EXPECT_EQ(filter.getLogFreq(101), std::log(10100.0));
    // The fullest curve still designs, to the edge of the arrays.
    design(filter, 48000.0f);
    EXPECT_EQ(filter.getLogFreq(102), std::log(24000.0));
    for (int k = 0; k < 2048; ++k)
        ASSERT_TRUE(std::isfinite(filter.getResponse()[k]));
    EXPECT_NEAR(filter.getResponse()[42], db2level(2.0f * -0.01f * 10.0f), 0.002);
}

TEST(CoincidenceFilter, ColumnRangeAndLevelsOfTheBuiltInCurves) {
    for (int kind = 0; kind < 2; ++kind) {
        for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
            CCoincidenceFilter filter(kind, 1.47f, 1.0f);
            design(filter, rate);
            int c0 = 0, c1 = 0;
            filter.getColumnRange(&c0, &c1);
            EXPECT_EQ(c0, 1) << rate;
            EXPECT_EQ(c1, 1983) << rate;
        }
    }
    // Before the phase step: twice the curve's level at bin 42.
    CCoincidenceFilter zeroPhase(0, 1.47f, 1.0f);
    zeroPhase.setPhaseStep(false);
    design(zeroPhase, 48000.0f);
    EXPECT_NEAR(20.0 * std::log10(zeroPhase.getResponse()[42]), -11.65, 0.005);
    for (int k = 0; k < 1024; ++k)
        ASSERT_EQ(zeroPhase.getResponse()[1024 + k], 0.0);

    CCoincidenceFilter w(0, 1.47f, 1.0f);
    design(w, 48000.0f);
    EXPECT_NEAR(pairDb(w.getResponse(), 42), -6.76, 0.005);
    EXPECT_NEAR(pairDb(w.getResponse(), 298), -1.00, 0.005);

    CCoincidenceFilter xyz(1, 2.3f, 1.0f);
    design(xyz, 48000.0f);
    EXPECT_NEAR(pairDb(xyz.getResponse(), 42), -4.15, 0.005);
    EXPECT_NEAR(pairDb(xyz.getResponse(), 853), -6.84, 0.005);
}

TEST(CoincidenceFilter, ColumnWiseDesignEqualsFullMatrixDesignBitForBit) {
    for (int kind = 0; kind < 2; ++kind) {
        for (float spacing : {1.47f, 2.3f}) {
            for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
                SCOPED_TRACE(testing::Message() << kind << " " << spacing << " " << rate);
                CCoincidenceFilter filter(kind, spacing, 1.0f);
                const std::vector<double> expected = fullMatrixDesign(filter, rate);
                design(filter, rate);
                ASSERT_EQ(
                    0, std::memcmp(filter.getResponse(), expected.data(), 2048 * sizeof(double)));
            }
        }
    }
    // Without the phase step as well, and for a curve of another length.
    CBSplineFilter plain;
    for (int i = 1; i <= 7; ++i)
        plain.addPoint(300.0f * i * i, std::sin(i * 0.9f) * 4.0f);
    const std::vector<double> expected = fullMatrixDesign(plain, 48000.0f);
    design(plain, 48000.0f);
    EXPECT_EQ(0, std::memcmp(plain.getResponse(), expected.data(), 2048 * sizeof(double)));
}

TEST(CoincidenceFilter, MeasuredResponseFollowsDesignAndCurveTable) {
    const float rate = 48000.0f;
    for (int kind = 0; kind < 2; ++kind) {
        for (float spacing : {1.47f, 2.3f}) {
            SCOPED_TRACE(testing::Message() << kind << " " << spacing);
            CCoincidenceFilter filter(kind, spacing, 1.0f);
            filter.setSamplingRate(rate);
            filter.clearBuffers();
            const std::vector<float> out = impulseThrough(filter, 8192);

            // The declared latency: nothing before 1024 samples, the peak at 1024.
            EXPECT_EQ(peakIndex(out), static_cast<size_t>(kLatency));
            for (size_t i = 0; i < kLatency; ++i)
                ASSERT_EQ(out[i], 0.0f);

            // The 2048 samples after the delay are the whole impulse response.
            const std::vector<double> h(out.begin() + kLatency, out.begin() + kLatency + 2048);
            const std::vector<double> measured = fftref::packedDft(h);
            for (int k = 1; k < 1024; ++k)
                ASSERT_NEAR(pairDb(measured.data(), k), pairDb(filter.getResponse(), k), 1e-4) << k;

            // Against the curve table where the curve is defined (the spline smooths the
            // points, by up to 0.19 dB around the dip near 7 kHz).
            int compared = 0;
            for (int i = 0; i < CCoincidenceFilter::kCurvePoints; ++i) {
                float freq, levelW, levelXYZ;
                CCoincidenceFilter::getCurvePoint(i, &freq, &levelW, &levelXYZ);
                const double shifted = freq * 1.47 / spacing;
                const long bin = std::lround(shifted / rate * 2048.0);
                if (bin > 1023) continue;
                const double curve = kind == 0 ? levelW : levelXYZ;
                EXPECT_NEAR(pairDb(measured.data(), bin), expectedDb(curve), 0.25) << freq;
                ++compared;
            }
            EXPECT_GE(compared, 31);
        }
    }
}

TEST(CoincidenceFilter, BlockBoundariesFrameRestartAndRedesigns) {
    const std::vector<float> in = noise(5 * 4096 + 77, 3);

    std::vector<float> reference;
    for (const auto& sizes : std::vector<std::vector<long>>{
             {static_cast<long>(in.size())}, {1}, {64}, {4096}, {5, 512, 1, 3000, 64, 777}}) {
        CCoincidenceFilter filter(1, 1.47f, 1.0f);
        filter.setSamplingRate(44100.0f);
        filter.clearBuffers();
        const std::vector<float> out = runInBlocks(filter, in, sizes);
        for (size_t i = 0; i < kLatency; ++i)
            ASSERT_EQ(out[i], 0.0f);
        if (reference.empty())
            reference = out;
        else
            ASSERT_EQ(0, std::memcmp(out.data(), reference.data(), out.size() * sizeof(float)));
    }

    Counting<CCoincidenceFilter> filter(0, 2.3f, 1.0f);
    filter.setSamplingRate(48000.0f);
    filter.clearBuffers();
    runInBlocks(filter, in, {512});
    EXPECT_EQ(filter.designs, 1);
    filter.setSamplingRate(48000.0f);
    filter.clearBuffers();
    // clearBuffers restarts the frame: 1024 zeros, whatever came before.
    const std::vector<float> restarted = runInBlocks(filter, in, {100});
    for (size_t i = 0; i < kLatency; ++i)
        ASSERT_EQ(restarted[i], 0.0f);
    EXPECT_NE(restarted[kLatency], 0.0f);
    EXPECT_EQ(filter.designs, 1);

    // A new rate: one redesign at the next block, none for repeats or unusable rates; silence
    // stays silence across the redesign, which leaves the frame alone.
    std::vector<float> silence(3000, 0.0f);
    runInBlocks(filter, silence, {3000});
    filter.setSamplingRate(96000.0f);
    filter.setSamplingRate(std::numeric_limits<float>::quiet_NaN());
    filter.setSamplingRate(-1.0f);
    for (float v : runInBlocks(filter, silence, {128}))
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(filter.designs, 2);
    EXPECT_EQ(filter.getSamplingRate(), 96000.0f);
    filter.setSamplingRate(96000.0f);
    runInBlocks(filter, in, {4096});
    EXPECT_EQ(filter.designs, 2);
}

TEST(CoincidenceFilter, DegenerateCurvesPassThroughAndNothingNonFiniteLeaves) {
    // No points, one point: too few for a cubic.
    CBSplineFilter empty;
    design(empty, 48000.0f);
    expectPassThrough(empty);
    CBSplineFilter single(true);
    single.addPoint(1000.0f, -3.0f);
    design(single, 48000.0f);
    expectPassThrough(single);
    CCoincidenceFilter otherKind(5, 1.47f, 1.0f);
    design(otherKind, 48000.0f);
    expectPassThrough(otherKind);

    // Two points are enough: a real curve.
    CBSplineFilter two;
    two.addPoint(1000.0f, -3.0f);
    two.addPoint(5000.0f, -3.0f);
    design(two, 48000.0f);
    EXPECT_NEAR(20.0 * std::log10(two.getResponse()[100]), -6.0, 1e-4);

    // Spacings and strengths that give no finite curve, a frequency of 0 Hz, levels too large.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    CCoincidenceFilter zeroSpacing(0, 0.0f, 1.0f), negativeSpacing(0, -1.47f, 1.0f),
        nanStrength(1, 1.47f, nan), loud(1, 1.47f, -1e30f);
    for (CCoincidenceFilter* f : {&zeroSpacing, &negativeSpacing, &nanStrength, &loud}) {
        design(*f, 48000.0f);
        expectPassThrough(*f);
    }
    CBSplineFilter zeroHz;
    zeroHz.addPoint(0.0f, 1.0f);
    zeroHz.addPoint(1000.0f, 1.0f);
    zeroHz.addPoint(2000.0f, 1.0f);
    design(zeroHz, 48000.0f);
    expectPassThrough(zeroHz);

    // NaN and infinity fed in are flushed; the filter then carries on as an untouched one.
    CCoincidenceFilter clean(0, 1.47f, 1.0f), damaged(0, 1.47f, 1.0f);
    std::vector<float> in = noise(16384, 9);
    for (CCoincidenceFilter* f : {&clean, &damaged}) {
        f->setSamplingRate(48000.0f);
        f->clearBuffers();
    }
    const std::vector<float> expected = runInBlocks(clean, in, {64});
    in[2500] = std::numeric_limits<float>::infinity();
    in[2501] = nan;
    const std::vector<float> out = runInBlocks(damaged, in, {64});
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_TRUE(std::isfinite(out[i])) << i;
    for (size_t i = 2501 + 3 * 1024; i < out.size(); ++i)
        ASSERT_EQ(out[i], expected[i]) << i;
}

TEST(CoincidenceFilter, OneFilterStaysUnder150KB) {
    // Eight of these live in every plug-in instance.
    const long limit = 150 * 1000;
    EXPECT_LT(static_cast<long>(sizeof(CCoincidenceFilter)), limit);

    CCoincidenceFilter* filter = nullptr;
    const size_t before = mallinfo2().uordblks;
    filter = new CCoincidenceFilter(0, 1.47f, 1.0f);
    design(*filter, 48000.0f);
    const size_t after = mallinfo2().uordblks;
    const long total = static_cast<long>(sizeof(CCoincidenceFilter)) + filter->getHeapBytes();
    EXPECT_LT(total, limit);
#if !defined(__SANITIZE_ADDRESS__)
    // What the allocator really handed out: the object and its transform tables.
    EXPECT_GE(static_cast<long>(after - before), total);
    EXPECT_LT(static_cast<long>(after - before), limit);
#else
    (void)before;
    (void)after;
#endif
    delete filter;
}
