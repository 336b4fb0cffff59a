#include "dsp/FIRFilter.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/IIRFilter.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace filtertest;

namespace {

constexpr float kRate = 48000.0f;

// A set holding the given coefficients under one rate.
struct Coefficients {
    CFilterCoefficients set;
    Coefficients(const std::vector<float>& b, const std::vector<float>& a, float rate = kRate) {
        set.setFilterSizeB(rate, static_cast<int>(b.size()));
        set.setFilterSizeA(rate, static_cast<int>(a.size()));
        std::copy(b.begin(), b.end(), set.getCoefficientsB(rate));
        std::copy(a.begin(), a.end(), set.getCoefficientsA(rate));
    }
};

// y[n] = sum b_k x[n-k] - sum a_k y[n-k] in double, from rest.
std::vector<double> directForm(const std::vector<float>& b, const std::vector<float>& a,
                               const std::vector<float>& x) {
    std::vector<double> y(x.size());
    for (size_t n = 0; n < x.size(); ++n) {
        double acc = 0.0;
        for (size_t k = 0; k < b.size() && k <= n; ++k)
            acc += double(b[k]) * x[n - k];
        for (size_t k = 1; k <= a.size() && k <= n; ++k)
            acc -= double(a[k - 1]) * y[n - k];
        y[n] = acc;
    }
    return y;
}

std::vector<double> multiply(const std::vector<double>& p, const std::vector<double>& q) {
    std::vector<double> r(p.size() + q.size() - 1, 0.0);
    for (size_t i = 0; i < p.size(); ++i)
        for (size_t j = 0; j < q.size(); ++j)
            r[i + j] += p[i] * q[j];
    return r;
}

// A random stable filter of the given order (made of conjugate pole pairs of radius < 0.9),
// coefficients rounded to float; a is returned without its leading 1.
void randomStableFilter(int sections, unsigned seed, std::vector<float>& b, std::vector<float>& a) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> radius(0.1, 0.9), angle(0.05, 3.0), gain(-1.0, 1.0);
    std::vector<double> den = {1.0}, num = {1.0};
    for (int s = 0; s < sections; ++s) {
        const double r = radius(generator), w = angle(generator);
        den = multiply(den, {1.0, -2.0 * r * std::cos(w), r * r});
        num = multiply(num, {gain(generator), gain(generator), gain(generator)});
    }
    b.assign(num.begin(), num.end());
    a.assign(den.begin() + 1, den.end());
}

double maxAbs(const std::vector<double>& v) {
    double m = 0.0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

} // namespace

TEST(IIRFilter, StatedImpulseResponses) {
    {
        Coefficients c({0.5f}, {-0.5f});
        CIIRFilter f;
        f.setCoefficients(&c.set);
        f.setSamplingRate(kRate);
        EXPECT_EQ(f.getNumA(), 1);
        EXPECT_EQ(f.getNumB(), 1);
        auto x = impulse(30);
        f.doFilter(x.data(), 30);
        for (int n = 0; n < 30; ++n)
            EXPECT_EQ(x[n], std::ldexp(1.0f, -(n + 1))) << n;
    }
    {
        const float b0 = 0.3f, b1 = -0.7f, b2 = 0.45f, a1 = -1.2f, a2 = 0.5f;
        Coefficients c({b0, b1, b2}, {a1, a2});
        CIIRFilter f;
        f.setCoefficients(&c.set);
        f.setSamplingRate(kRate);
        std::vector<float> x = {1.0f, 0.0f, 0.0f};
        f.doFilter(x.data(), 3);
        const float y1 = b1 - a1 * b0;
        EXPECT_EQ(x[0], b0);
        EXPECT_EQ(x[1], y1);
        EXPECT_EQ(x[2], (b2 - a1 * y1) - a2 * b0);
    }
}

TEST(IIRFilter, PassesThroughWithoutCoefficients) {
    Messages messages;
    auto signal = noise(300, 5);
    const auto original = signal;
    // No set at all.
    CIIRFilter bare;
    bare.setSamplingRate(kRate);
    bare.doFilter(signal.data(), 300);
    EXPECT_EQ(signal, original);
    // A zero count on either side, whatever the other.
    for (auto counts : {std::pair<int, int>{0, 5}, {5, 0}, {0, 0}}) {
        CFilterCoefficients set;
        set.setFilterSizeA(kRate, counts.first);
        set.setFilterSizeB(kRate, counts.second);
        for (int j = 0; j < counts.first; ++j)
            set.getCoefficientsA(kRate)[j] = 0.3f;
        for (int j = 0; j < counts.second; ++j)
            set.getCoefficientsB(kRate)[j] = 0.7f;
        CIIRFilter f;
        f.setCoefficients(&set);
        f.setSamplingRate(kRate);
        f.doFilter(signal.data(), 300);
        EXPECT_EQ(signal, original);
    }
    EXPECT_TRUE(messages.all.empty());
    // A rate the set does not hold: the message once for A and once for B, then pass-through.
    Coefficients c({0.5f}, {-0.5f});
    CIIRFilter f;
    f.setCoefficients(&c.set);
    f.setSamplingRate(44100.0f);
    ASSERT_EQ(messages.all.size(), 2u);
    EXPECT_EQ(messages.all[0], "No filter found for sampling rate  44100");
    EXPECT_EQ(messages.all[1], "No filter found for sampling rate  44100");
    EXPECT_EQ(f.getNumA(), 0);
    EXPECT_EQ(f.getNumB(), 0);
    f.doFilter(signal.data(), 300);
    EXPECT_EQ(signal, original);
    // Back at a rate it holds, it filters again.
    f.setSamplingRate(kRate);
    f.doFilter(signal.data(), 1);
    EXPECT_EQ(signal[0], 0.5f * original[0]);
}

TEST(IIRFilter, HistoryIndexWrapsAfter1024AndClearKeepsIt) {
    Coefficients c({1.0f, 0.5f}, {0.25f});
    CIIRFilter f;
    f.setCoefficients(&c.set);
    f.setSamplingRate(kRate);
    EXPECT_EQ(f.getHistoryIndex(), 0);
    auto x = noise(1024, 2);
    f.doFilter(x.data(), 1024);
    EXPECT_EQ(f.getHistoryIndex(), 0);
    f.doFilter(x.data(), 5);
    EXPECT_EQ(f.getHistoryIndex(), 5);
    f.clearBuffers();
    EXPECT_EQ(f.getHistoryIndex(), 5);
    // Cleared: the next outputs are those of a filter at rest.
    CIIRFilter fresh;
    fresh.setCoefficients(&c.set);
    fresh.setSamplingRate(kRate);
    auto y1 = noise(100, 3), y2 = y1;
    f.doFilter(y1.data(), 100);
    fresh.doFilter(y2.data(), 100);
    EXPECT_EQ(y1, y2);
    f.init();
    EXPECT_EQ(f.getHistoryIndex(), 0);
    EXPECT_EQ(f.getCoefficientSet(), nullptr);
    // Other forms run as direct form I.
    CIIRFilter other(2);
    EXPECT_EQ(other.getForm(), 2);
    other.setCoefficients(&c.set);
    other.setSamplingRate(kRate);
    auto y3 = noise(100, 3);
    other.doFilter(y3.data(), 100);
    EXPECT_EQ(y3, y2);
}

TEST(IIRFilter, MatchesADirectFormReferenceInDouble) {
    for (int sections = 1; sections <= 4; ++sections) {
        for (unsigned seed = 1; seed <= 5; ++seed) {
            std::vector<float> b, a;
            randomStableFilter(sections, 100 * sections + seed, b, a);
            Coefficients c(b, a);
            CIIRFilter f;
            f.setCoefficients(&c.set);
            f.setSamplingRate(kRate);
            auto x = noise(5000, seed);
            const auto y = directForm(b, a, x);
            f.doFilter(x.data(), 5000);
            const double tolerance = 2e-5 * maxAbs(y);
            for (size_t n = 0; n < y.size(); ++n)
                ASSERT_NEAR(x[n], y[n], tolerance) << sections << " " << seed << " " << n;
        }
    }
    // A long feed-forward part with a short feedback part.
    std::vector<float> b = noise(1024, 9, 1.0f / 64.0f), a = {-0.6f, 0.2f};
    Coefficients c(b, a);
    CIIRFilter f;
    f.setCoefficients(&c.set);
    f.setSamplingRate(kRate);
    auto x = noise(4000, 10);
    const auto y = directForm(b, a, x);
    f.doFilter(x.data(), 4000);
    const double tolerance = 2e-5 * maxAbs(y);
    for (size_t n = 0; n < y.size(); ++n)
        ASSERT_NEAR(x[n], y[n], tolerance) << n;
}

TEST(IIRFilter, LongBlocksAndBlockSplitsGiveTheSameOutput) {
    std::vector<float> b, a;
    randomStableFilter(3, 77, b, a);
    Coefficients c(b, a);
    const auto input = noise(100000, 11);
    // One block of 100000 samples, far beyond a 16-bit count, against the reference.
    auto whole = input;
    CIIRFilter one;
    one.setCoefficients(&c.set);
    one.setSamplingRate(kRate);
    one.doFilter(whole.data(), static_cast<long>(whole.size()));
    const auto y = directForm(b, a, input);
    const double tolerance = 2e-5 * maxAbs(y);
    for (size_t n = 0; n < y.size(); ++n)
        ASSERT_NEAR(whole[n], y[n], tolerance) << n;
    for (size_t block : {size_t(1), size_t(64), size_t(4096), size_t(100000)}) {
        auto split = input;
        CIIRFilter f;
        f.setCoefficients(&c.set);
        f.setSamplingRate(kRate);
        runBlocks(f, split, block);
        EXPECT_EQ(split, whole) << block;
    }
    auto uneven = input;
    CIIRFilter f;
    f.setCoefficients(&c.set);
    f.setSamplingRate(kRate);
    runUneven(f, uneven);
    EXPECT_EQ(uneven, whole);
}

TEST(IIRFilter, CountsAreLimitedToTheHistoryLength) {
    CFilterCoefficients set;
    set.setFilterSizeB(kRate, 2000);
    set.setFilterSizeA(kRate, 1500);
    std::vector<float> b(2000, 0.0f), a(1500, 0.0f);
    b[0] = 0.5f;
    b[1023] = 0.25f; // the last tap that can take part
    b[1024] = 100.0f;
    b[1999] = 100.0f;
    a[0] = -0.25f;
    a[1023] = 0.125f;
    a[1499] = 100.0f;
    std::copy(b.begin(), b.end(), set.getCoefficientsB(kRate));
    std::copy(a.begin(), a.end(), set.getCoefficientsA(kRate));
    CIIRFilter f;
    f.setCoefficients(&set);
    f.setSamplingRate(kRate);
    EXPECT_EQ(f.getNumB(), 1024);
    EXPECT_EQ(f.getNumA(), 1024);
    auto x = noise(5000, 12);
    const auto y = directForm(std::vector<float>(b.begin(), b.begin() + 1024),
                              std::vector<float>(a.begin(), a.begin() + 1024), x);
    f.doFilter(x.data(), 5000);
    const double tolerance = 1e-5 * maxAbs(y);
    for (size_t n = 0; n < y.size(); ++n)
        ASSERT_NEAR(x[n], y[n], tolerance) << n;
}

TEST(IIRFilter, NonFiniteStateIsResetAndNeverEscapes) {
    std::vector<float> b, a;
    randomStableFilter(2, 21, b, a);
    Coefficients c(b, a);
    for (float poison :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
          -std::numeric_limits<float>::infinity()}) {
        CIIRFilter f, fresh, clean;
        for (CIIRFilter* g : {&f, &fresh, &clean}) {
            g->setCoefficients(&c.set);
            g->setSamplingRate(kRate);
        }
        auto block1 = noise(512, 30), reference1 = block1;
        block1[100] = poison;
        f.doFilter(block1.data(), 512);
        clean.doFilter(reference1.data(), 512);
        EXPECT_TRUE(allFinite(block1));
        for (int n = 0; n < 100; ++n)
            EXPECT_EQ(block1[n], reference1[n]);
        // The next block starts from rest, like a fresh filter.
        auto block2 = noise(512, 31), reference2 = block2;
        f.doFilter(block2.data(), 512);
        fresh.doFilter(reference2.data(), 512);
        EXPECT_EQ(block2, reference2);
    }
    // An unstable set blows up within blocks; nothing infinite comes out, every block.
    Coefficients unstable({1.0f}, {-1.05f});
    CIIRFilter f;
    f.setCoefficients(&unstable.set);
    f.setSamplingRate(kRate);
    for (int block = 0; block < 100; ++block) {
        auto x = noise(512, 40 + block);
        f.doFilter(x.data(), 512);
        ASSERT_TRUE(allFinite(x)) << block;
    }
}

TEST(IIRFilter, SilenceDecaysToExactZeroWithoutSubnormals) {
    Coefficients c({0.05f, 0.0f, -0.05f}, {-1.8f, 0.9025f}); // a resonator, poles at radius 0.95
    CIIRFilter f;
    f.setCoefficients(&c.set);
    f.setSamplingRate(kRate);
    auto burst = noise(512, 50);
    f.doFilter(burst.data(), 512);
    // The state is flushed at the end of the block in which it falls below 1e-30: subnormal
    // values can only show in that one block, and then the output is exact silence.
    int blocksWithSubnormals = 0;
    std::vector<float> block(512);
    for (int k = 0; k < 200; ++k) {
        std::fill(block.begin(), block.end(), 0.0f);
        f.doFilter(block.data(), 512);
        blocksWithSubnormals += countSubnormal(block) > 0;
        if (k >= 10) {
            for (float v : block)
                ASSERT_EQ(v, 0.0f) << k;
        }
    }
    EXPECT_LE(blocksWithSubnormals, 1);
}

TEST(FIRFilter, StatedTapPatterns) {
    const std::vector<float> exact = {1.0f, -0.5f, 0.25f, 3.0f, -2.0f, 0.0f, 0.125f, 1.0f};
    {
        Coefficients c({32767.0f, 0.0f, 0.0f}, {});
        CFIRFilter f;
        f.setCoefficients(&c.set);
        f.setSamplingRate(kRate);
        EXPECT_EQ(f.getNumTaps(), 3);
        auto x = exact;
        f.doFilter(x.data(), static_cast<long>(x.size()));
        EXPECT_EQ(x, exact);
        auto r = noise(10000, 60), original = r;
        f.doFilter(r.data(), 10000);
        EXPECT_LE(maxUlps(r, original), 1);
    }
    {
        Coefficients c({0.0f, 32767.0f, 0.0f}, {});
        CFIRFilter f;
        f.setCoefficients(&c.set);
        f.setSamplingRate(kRate);
        auto x = exact;
        f.doFilter(x.data(), static_cast<long>(x.size()));
        EXPECT_EQ(x[0], 0.0f);
        for (size_t n = 1; n < x.size(); ++n)
            EXPECT_EQ(x[n], exact[n - 1]);
    }
    {
        CFIRFilter f; // no taps: silence
        auto x = noise(100, 61);
        f.doFilter(x.data(), 100);
        for (float v : x)
            EXPECT_EQ(v, 0.0f);
    }
}

TEST(FIRFilter, MatchesAConvolutionInBlocksOfAnySize) {
    std::vector<float> taps = noise(37, 62, 32767.0f / 8.0f);
    Coefficients c(taps, {});
    const auto input = noise(20000, 63);
    auto whole = input;
    CFIRFilter f;
    f.setCoefficients(&c.set);
    f.setSamplingRate(kRate);
    f.doFilter(whole.data(), 20000);
    const auto y = directForm(taps, {}, input);
    for (size_t n = 0; n < y.size(); ++n)
        ASSERT_NEAR(whole[n], y[n] / 32767.0, 2e-6) << n;
    for (size_t block : {size_t(1), size_t(64), size_t(4096)}) {
        auto split = input;
        CFIRFilter g;
        g.setCoefficients(&c.set);
        g.setSamplingRate(kRate);
        runBlocks(g, split, block);
        EXPECT_EQ(split, whole) << block;
    }
}

TEST(FIRFilter, TapCountIsLimitedAndPoisonIsCleared) {
    CFilterCoefficients set;
    set.setFilterSizeB(kRate, 1500);
    float* taps = set.getCoefficientsB(kRate);
    taps[0] = 32767.0f;
    taps[1023] = 32767.0f;
    taps[1024] = 1e9f;
    CFIRFilter f;
    f.setCoefficients(&set);
    f.setSamplingRate(kRate);
    EXPECT_EQ(f.getNumTaps(), 1024);
    std::vector<float> x(3000, 0.0f);
    x[0] = 1.0f;
    f.doFilter(x.data(), 3000);
    for (size_t n = 0; n < x.size(); ++n)
        EXPECT_EQ(x[n], n == 0 || n == 1023 ? 1.0f : 0.0f) << n;

    auto poisoned = noise(512, 64);
    poisoned[10] = std::numeric_limits<float>::quiet_NaN();
    f.doFilter(poisoned.data(), 512);
    EXPECT_TRUE(allFinite(poisoned));
    auto next = noise(512, 65);
    f.doFilter(next.data(), 512);
    EXPECT_TRUE(allFinite(next));

    // A shorter set afterwards: the line shrinks and the write position stays inside it.
    CFilterCoefficients small;
    small.setFilterSizeB(kRate, 2);
    small.getCoefficientsB(kRate)[1] = 32767.0f;
    f.setCoefficients(&small);
    f.setSamplingRate(kRate);
    EXPECT_EQ(f.getNumTaps(), 2);
    EXPECT_LT(f.getWriteIndex(), 2);
    f.clearBuffers();
    std::vector<float> y = {1.0f, 2.0f, 3.0f};
    f.doFilter(y.data(), 3);
    EXPECT_EQ(y, (std::vector<float>{0.0f, 1.0f, 2.0f}));
}
