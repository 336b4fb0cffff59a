#include "dsp/FIRFilter.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/IIRFilter.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace filtertest;

namespace {

constexpr float kRate = 48000.0f;

template <class Filter>
std::vector<float> filtered(CFilterCoefficients& set, std::vector<float> x) {
    Filter f;
    f.setCoefficients(&set);
    f.setSamplingRate(kRate);
    f.doFilter(x.data(), static_cast<long>(x.size()));
    return x;
}

// y[n] = sum b_k x[n-k] - sum a_k y[n-k] in double, from rest; checked to a tolerance relative to
// the largest output.
void expectDirectForm(const std::vector<float>& b, const std::vector<float>& a,
                      const std::vector<float>& x, const std::vector<float>& out, double relative) {
    std::vector<double> y(x.size());
    double peak = 0.0;
    for (size_t n = 0; n < x.size(); ++n) {
        for (size_t k = 0; k < b.size() && k <= n; ++k)
            y[n] += double(b[k]) * x[n - k];
        for (size_t k = 1; k <= a.size() && k <= n; ++k)
            y[n] -= double(a[k - 1]) * y[n - k];
        peak = std::max(peak, std::fabs(y[n]));
    }
    for (size_t n = 0; n < x.size(); ++n)
        ASSERT_NEAR(out[n], y[n], relative * peak) << n;
}

// Random zeros and `sections` random pole pairs of radius < 0.9; a without its leading 1.
void randomStableFilter(int sections, unsigned seed, std::vector<float>& b, std::vector<float>& a) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> radius(0.1, 0.9), angle(0.05, 3.0);
    std::vector<double> den = {1.0, 0.0, 0.0};
    for (int s = 0; s < sections; ++s, den.resize(den.size() + 2)) {
        const double r = radius(generator), c1 = -2.0 * r * std::cos(angle(generator));
        for (size_t i = den.size() - 1; i >= 1; --i) // times 1 + c1 z^-1 + r^2 z^-2
            den[i] += c1 * den[i - 1] + (i >= 2 ? r * r * den[i - 2] : 0.0);
    }
    b = noise(2 * sections + 1, seed);
    a.assign(den.begin() + 1, den.end() - 2);
}

} // namespace

TEST(IIRFilter, PassThroughUntilItHasASetForTheRate) {
    Coefficients half({0.5f}, {-0.5f});
    // numA = 0 or numB = 0, whatever the other count, or no set: unchanged.
    const auto signal = noise(300, 5);
    Coefficients noA({0.7f, 0.7f}, {}), noB({}, {0.3f, 0.3f}), none({}, {});
    for (CFilterCoefficients* set : {&noA, &noB, &none})
        EXPECT_EQ(filtered<CIIRFilter>(*set, signal), signal);
    CIIRFilter bare;
    EXPECT_EQ(run(bare, signal), signal);
    // A rate the set lacks: pass-through until a rate it holds.
    CIIRFilter f;
    f.setCoefficients(&half);
    f.setSamplingRate(44100.0f);
    EXPECT_FALSE(half.hasFilterFor(44100.0f));
    EXPECT_EQ(run(f, signal), signal);
    f.setSamplingRate(kRate);
    EXPECT_EQ(run(f, {2.0f}), std::vector<float>{1.0f});
    // Cleared, it goes on like a filter at rest.
    run(f, noise(700, 2));
    f.clearBuffers();
    EXPECT_EQ(run(f, signal), filtered<CIIRFilter>(half, signal));
}

// Single-precision direct form I against double; one block of 100000 samples tests block
// lengths a 16-bit counter cannot hold; counts beyond the 1024-sample history act as 1024.
TEST(IIRFilter, MatchesADirectFormReferenceInDouble) {
    for (int sections = 1; sections <= 4; ++sections) {
        std::vector<float> b, a;
        randomStableFilter(sections, 100 * sections, b, a);
        Coefficients c(b, a);
        const auto x = noise(sections == 3 ? 100000 : 5000, sections);
        expectDirectForm(b, a, x, filtered<CIIRFilter>(c, x), 2e-5);
    }
    std::vector<float> b = noise(2000, 9, 1.0f / 64.0f), a(1500, 0.0f);
    a[0] = -0.6f;
    a[1] = 0.2f;
    a[1023] = 0.001f;
    b[1024] = a[1024] = a[1499] = 100.0f;
    Coefficients c(b, a);
    const auto x = noise(4000, 10);
    expectDirectForm({b.begin(), b.begin() + 1024}, {a.begin(), a.begin() + 1024}, x,
                     filtered<CIIRFilter>(c, x), 2e-5);

    // An unstable set: nothing infinite comes out, block after block.
    Coefficients unstable({1.0f}, {-1.05f});
    CIIRFilter g;
    g.setCoefficients(&unstable);
    g.setSamplingRate(kRate);
    for (int block = 0; block < 100; ++block)
        ASSERT_TRUE(allFinite(run(g, noise(512, 40 + block)))) << block;
}

TEST(FIRFilter, StatedTapsAndConvolution) {
    // Taps are in units of 1/32767; no taps, no output.
    const std::vector<float> x = noise(100, 60);
    Coefficients unit({32767.0f, 0.0f, 0.0f}, {});
    EXPECT_TRUE(withinUlp(filtered<CFIRFilter>(unit, x), x));
    CFIRFilter empty;
    EXPECT_EQ(run(empty, x), std::vector<float>(x.size(), 0.0f));

    const std::vector<float> taps = noise(37, 62, 32767.0f / 8.0f);
    Coefficients c(taps, {});
    const auto input = noise(20000, 63), whole = filtered<CFIRFilter>(c, input);
    std::vector<float> scaled(taps.size());
    for (size_t k = 0; k < taps.size(); ++k)
        scaled[k] = static_cast<float>(taps[k] / 32767.0);
    expectDirectForm(scaled, {}, input, whole, 2e-6);
}

TEST(FIRFilter, TapCountIsLimitedAndAShorterSetFitsTheLine) {
    std::vector<float> taps(1500, 0.0f);
    taps[0] = taps[1023] = 32767.0f;
    taps[1024] = 1e9f;
    Coefficients set(taps);
    CFIRFilter f;
    f.setCoefficients(&set);
    f.setSamplingRate(kRate);
    EXPECT_EQ(f.getNumTaps(), 1024);
    const auto y = run(f, impulse(3000));
    for (size_t n = 0; n < y.size(); ++n)
        ASSERT_EQ(y[n], n == 0 || n == 1023 ? 1.0f : 0.0f) << n;

    // A shorter set afterwards: the write position stays inside the shorter line.
    Coefficients small({0.0f, 32767.0f});
    f.setCoefficients(&small);
    f.setSamplingRate(kRate);
    EXPECT_LT(f.getWriteIndex(), 2);
    f.clearBuffers();
    EXPECT_EQ(run(f, {1.0f, 2.0f, 3.0f}), (std::vector<float>{0.0f, 1.0f, 2.0f}));
}
