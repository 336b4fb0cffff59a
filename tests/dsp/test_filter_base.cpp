#include "dsp/FIRFilter.h"
#include "dsp/Filter.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/IIRFilter.h"

#include "FilterTestSupport.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <climits>
#include <complex>
#include <cstring>
#include <limits>

using namespace filtertest;

namespace {

// A Tolvin coefficients file, byte by byte: a header word, the counts nA and nB (int16; those of
// the arrays unless given), the B floats, then the A floats, all little-endian.
std::string tolvin(const std::vector<float>& b, const std::vector<float>& a, int nA = INT_MIN,
                   int nB = INT_MIN) {
    std::string bytes;
    auto le = [&bytes](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            bytes += static_cast<char>(v >> (8 * i));
    };
    le(0x1234abcd, 4);
    le(static_cast<uint16_t>(nA == INT_MIN ? int(a.size()) : nA), 2);
    le(static_cast<uint16_t>(nB == INT_MIN ? int(b.size()) : nB), 2);
    for (const std::vector<float>* values : {&b, &a})
        for (float f : *values) {
            uint32_t w;
            std::memcpy(&w, &f, 4);
            le(w, 4);
        }
    return bytes;
}

std::vector<float> arrayOf(const float* p, int n) {
    return std::vector<float>(p, p + n);
}

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

} // namespace

TEST(FilterCoefficients, RateNamesAndCounts) {
    // Rates from the upper-cased path, the later table row winning; only 1024 characters count.
    auto rate = [](const std::string& path) {
        return CFilterCoefficients::rateFromPath(path.c_str());
    };
    EXPECT_EQ(rate("/cal/mic/w48.flt"), 48000.0f);
    EXPECT_EQ(rate("/cal/W44_W96"), 96000.0f);
    EXPECT_EQ(rate("/cal/Vel176"), 176400.0f);
    EXPECT_EQ(rate("/x/coefficients.bin"), 0.0f);
    EXPECT_EQ(rate(std::string(1021, 'a') + "W48"), 48000.0f);
    EXPECT_EQ(rate(std::string(1022, 'a') + "W48"), 0.0f);
    // A set's name, shown to the user, is bounded too.
    CFilter f;
    f.setName(std::string(100, 'n').c_str());
    EXPECT_EQ(std::string(f.getName()), std::string(83, 'n'));
    f.setName(nullptr);
    EXPECT_STREQ(f.getName(), "");
}

TEST(TolvinFile, GoodFilesLoadBBeforeAUnderTheirRates) {
    TempDirectory dir;
    ASSERT_EQ(CFilterCoefficients::rateFromPath(dir.path().c_str()), 0.0f);
    CFilterCoefficients set;
    EXPECT_EQ(set.setTolvinIIRFileName(
                  dir.write("w48", tolvin({0.5f, 0.25f, -0.125f}, {-0.5f, 0.25f})).c_str()),
              "");
    ASSERT_EQ(set.getFilterSizeA(48000.0f), 2);
    ASSERT_EQ(set.getFilterSizeB(48000.0f), 3);
    EXPECT_EQ(arrayOf(set.getCoefficientsB(48000.0f), 3),
              (std::vector<float>{0.5f, 0.25f, -0.125f}));
    EXPECT_EQ(arrayOf(set.getCoefficientsA(48000.0f), 2), (std::vector<float>{-0.5f, 0.25f}));

    // Trailing bytes are ignored; the largest counts load in full (feedback small enough to be
    // stable: the magnitudes sum to less than 1).
    const std::vector<float> many = noise(1024, 2);
    const std::vector<float> feedback = noise(1024, 4, 0.0009f);
    EXPECT_EQ(
        set.setTolvinIIRFileName(dir.write("W96", tolvin({2.0f}, {0.25f}) + "trailing").c_str()),
        "");
    EXPECT_EQ(set.setTolvinIIRFileName(dir.write("W192", tolvin(many, feedback)).c_str()), "");
    EXPECT_EQ(set.getFilterSizeB(48000.0f), 3);
    EXPECT_EQ(set.getFilterSizeB(96000.0f), 1);
    EXPECT_EQ(set.getCoefficientsB(96000.0f)[0], 2.0f);
    EXPECT_EQ(arrayOf(set.getCoefficientsB(192000.0f), 1024), many);
    EXPECT_EQ(arrayOf(set.getCoefficientsA(192000.0f), 1024), feedback);
    EXPECT_TRUE(set.hasFilterFor(96000.0f));
    EXPECT_EQ(set.getFilterSizeB(44100.0f), 0);
    EXPECT_EQ(set.getCoefficientsB(44100.0f), nullptr);
    // A file without a rate in its name, and no name at all, are said to be unusable.
    const std::string unnamed = dir.write("coefficients.bin", tolvin({1}, {0.5f}));
    EXPECT_EQ(set.setTolvinIIRFileName(unnamed.c_str()),
              "No sampling rate in the name of Tolvin filter coefficients file: " + unnamed);
    EXPECT_NE(set.setTolvinIIRFileName(nullptr), "");
}

// The feedback coefficients a1..aN of the recursion whose poles are given, expanded from
// (1 - p1 z^-1)(1 - p2 z^-1)... in double: an independent statement of where the poles are.
std::vector<float> feedbackWithPoles(const std::vector<std::complex<double>>& poles) {
    std::vector<std::complex<double>> c{1.0};
    for (const auto& p : poles) {
        c.push_back(0.0);
        for (size_t i = c.size() - 1; i > 0; --i)
            c[i] -= p * c[i - 1];
    }
    std::vector<float> a;
    for (size_t i = 1; i < c.size(); ++i)
        a.push_back(static_cast<float>(c[i].real()));
    return a;
}

// A pole pair at radius r and angle w, and n such pairs spread over the circle.
std::vector<std::complex<double>> pair(double r, double w) {
    return {std::polar(r, w), std::polar(r, -w)};
}
std::vector<std::complex<double>> pairs(int n, double r) {
    std::vector<std::complex<double>> poles;
    for (int k = 0; k < n; ++k)
        for (const auto& p : pair(r, kPi * (k + 0.5) / n))
            poles.push_back(p);
    return poles;
}

// Each file loaded over a good set for its rate. A decaying recursion replaces the set as it is.
// A broken file (nothing read or written outside an array, nothing half-loaded) or one whose
// recursion would grow without bound leaves the rate without a set, so that it passes its signal
// through, with one clear message naming the file.
TEST(TolvinFile, BrokenAndUnstableFilesLoadNothingAndSaySo) {
    using Poles = std::vector<std::complex<double>>;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string good = tolvin({1, 2, 3}, {0.5f, 0.25f});
    const std::string broken = "Invalid Tolvin filter coefficients file: ",
                      unstable = "Unstable filter in Tolvin filter coefficients file, not used: ";
    const auto feedback = [](const std::vector<float>& a) { return tolvin({0.5f, 0.25f}, a); };
    Poles mixed = pairs(8, 0.95);
    mixed.push_back(1.002);
    const struct {
        const char* name;
        std::string file;
        std::string problem; // empty: taken
    } cases[] = {
        {"truncated", good.substr(0, good.size() - 1), broken},
        {"no-counts", good.substr(0, 6), broken},
        {"negative-A", tolvin({1}, {0.5f, 0.5f}, -2), broken},
        {"huge-A", tolvin({1}, std::vector<float>(1025, 0.001f)), broken},
        {"nan", tolvin({1, nan}, {0.5f}), broken},
        {"none", feedback({}), ""},
        {"pole-minus-0.999", feedback(feedbackWithPoles(Poles{-0.999})), ""},
        {"zero-feedback", feedback({0.0f, 0.0f, 0.0f}), ""},
        {"trailing-zeros", feedback({-0.5f, 0.0f, 0.0f}), ""},
        {"pair-0.99", feedback(feedbackWithPoles(pair(0.99, 0.3))), ""},
        {"sixteen-poles-0.95", feedback(feedbackWithPoles(pairs(8, 0.95))), ""},
        {"pole-on-circle", feedback(feedbackWithPoles(Poles{1.0})), unstable},
        {"pole-minus-1", feedback(feedbackWithPoles(Poles{-1.0})), unstable},
        {"pair-on-circle", feedback(feedbackWithPoles(pair(1.0, 1.2))), unstable},
        {"one-of-seventeen-outside", feedback(feedbackWithPoles(mixed)), unstable},
        {"huge", feedback({1e30f, -1e30f}), unstable},
    };
    TempDirectory dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFilterCoefficients set;
        set.setTolvinIIRFileName(
            dir.write(std::string("good-") + c.name + "-W48", tolvin({1, 2}, {0.5f})).c_str());
        const std::string path = dir.write(std::string(c.name) + "-W48", c.file);
        EXPECT_EQ(set.setTolvinIIRFileName(path.c_str()),
                  c.problem.empty() ? "" : c.problem + path);
        CIIRFilter filter;
        filter.setCoefficients(&set);
        filter.setSamplingRate(48000.0f);
        const std::vector<float> x = noise(4096, 5), y = run(filter, x);
        if (c.problem.empty()) {
            // Past the 8-byte head and the two B floats, every float is an A coefficient.
            EXPECT_EQ(set.getFilterSizeA(48000.0f), static_cast<int>(c.file.size() / 4) - 4);
            EXPECT_EQ(set.getFilterSizeB(48000.0f), 2);
            for (float v : y)
                ASSERT_LT(std::fabs(v), 100.0f);
        } else {
            EXPECT_EQ(set.getFilterSizeA(48000.0f), 0);
            EXPECT_EQ(set.getFilterSizeB(48000.0f), 0);
            EXPECT_EQ(y, x);
        }
    }
}

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
    EXPECT_EQ(run(f, signal), signal);
    f.setSamplingRate(kRate);
    EXPECT_EQ(run(f, {2.0f}), std::vector<float>{1.0f});
}

// Single-precision direct form I against double; one block of 100000 samples tests block
// lengths a 16-bit counter cannot hold; counts beyond the 1024-sample history act as 1024.
TEST(IIRFilter, MatchesADirectFormReferenceInDouble) {
    for (int sections = 1; sections <= 4; ++sections) {
        // Random zeros and pole pairs of radius < 0.9.
        std::mt19937 generator(100 * sections);
        std::uniform_real_distribution<double> radius(0.1, 0.9), angle(0.05, 3.0);
        std::vector<std::complex<double>> poles;
        for (int s = 0; s < sections; ++s)
            for (const auto& p : pair(radius(generator), angle(generator)))
                poles.push_back(p);
        const std::vector<float> b = noise(2 * sections + 1, 100 * sections),
                                 a = feedbackWithPoles(poles);
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
    // Taps are in units of 1/32767.
    const std::vector<float> taps = noise(37, 62, 32767.0f / 8.0f);
    Coefficients c(taps, {});
    const auto input = noise(20000, 63), whole = filtered<CFIRFilter>(c, input);
    std::vector<float> scaled(taps.size());
    for (size_t k = 0; k < taps.size(); ++k)
        scaled[k] = static_cast<float>(taps[k] / 32767.0);
    expectDirectForm(scaled, {}, input, whole, 2e-6);
}
