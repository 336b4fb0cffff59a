#include "dsp/ABMatrix.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

using namespace filtertest;

namespace {

using Block = std::array<std::vector<float>, 4>;

// [output W X Y Z][capsule 1 .. 4]
const int kSign[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
const float kInf = std::numeric_limits<float>::infinity();

// One sample per capsule through the matrix.
std::array<float, 4> convert(CABMatrix& m, std::array<float, 4> s) {
    m.process(&s[0], &s[1], &s[2], &s[3], 1);
    return s;
}

std::array<float, 4> capsule(int c) {
    std::array<float, 4> s{};
    s[c] = 1.0f;
    return s;
}

Block process(CABMatrix& m, Block b, long n) {
    m.process(b[0].data(), b[1].data(), b[2].data(), b[3].data(), n);
    return b;
}

Block noiseBlock(size_t n, unsigned seed) {
    return {noise(n, seed), noise(n, seed + 1), noise(n, seed + 2), noise(n, seed + 3)};
}

} // namespace

TEST(Decibels, ConversionsAndTheLimitedLevel) {
    EXPECT_EQ(db2level(-6.0f), 0.5011872f);
    EXPECT_EQ(level2db(0.5f), -6.0205998f);
    EXPECT_EQ(level2db(0.0f), -kInf);
    for (float dB = -60.0f; dB <= 60.0f; dB += 7.5f)
        EXPECT_NEAR(db2level(dB) / std::pow(10.0, dB / 20.0), 1.0, 2e-7);
    // Gains used in arithmetic stop at +120 dB, and NaN counts as 0 dB.
    EXPECT_TRUE(std::isinf(db2level(1e30f)));
    EXPECT_EQ(limitedDb2level(-6.0f), db2level(-6.0f));
    EXPECT_EQ(limitedDb2level(1e30f), db2level(120.0f));
    EXPECT_EQ(limitedDb2level(kInf), db2level(120.0f));
    EXPECT_EQ(limitedDb2level(-kInf), 0.0f);
    EXPECT_EQ(limitedDb2level(std::numeric_limits<float>::quiet_NaN()), 1.0f);
}

// Each capsule alone through each setter, which reaches only its rows: [capsule 3][output Z] at
// +6 dB shows the table is not read transposed. (Unit gains, their signs, 1/sqrt(2) on W and the
// output gains are measured through the plug-in by the integration suite.)
TEST(ABMatrix, EachSetterReachesOnlyItsRows) {
    CABMatrix w, xyz, table;
    w.setGains0(-6, 0, 0, 0);
    xyz.setGains1(-6, 0, 0, 0);
    float gains[4][4] = {};
    gains[2][3] = 6.0f;
    table.setGains4x4(gains);
    const float half = 0.5011872f, root = 0.70710677f;
    for (int c = 0; c < 4; ++c)
        for (int o = 0; o < 4; ++o) {
            const float unit = kSign[o][c] * (o == 0 ? root : 1.0f);
            EXPECT_EQ(convert(w, capsule(c))[o],
                      c == 0 && o == 0 ? static_cast<float>(half / std::sqrt(2.0)) : unit);
            EXPECT_EQ(convert(xyz, capsule(c))[o], c == 0 && o > 0 ? kSign[o][c] * half : unit);
            EXPECT_EQ(convert(table, capsule(c))[o],
                      o == 3 && c == 2 ? kSign[o][c] * 1.9952623f : unit);
        }
    const Block b = noiseBlock(8, 10);
    for (long n : {0L, -1L, -100000L})
        EXPECT_EQ(process(table, b, n), b) << n;
}

// Extrapolated host parameters can ask for any gain: outputs stay finite, gains stop at +120 dB.
TEST(ABMatrix, HugeGainsStayFinite) {
    for (float g : {200.0f, 1e30f, std::numeric_limits<float>::max()}) {
        float gains[4][4];
        for (auto& row : gains)
            for (auto& v : row)
                v = g;
        CABMatrix m;
        m.setGains4x4(gains);
        m.setOutGains(g, g, g, g);
        for (const auto& channel : process(m, noiseBlock(512, 40), 512))
            EXPECT_TRUE(allFinite(channel)) << g;
        EXPECT_FLOAT_EQ(convert(m, {0, 1e-12f, 0, 0})[1],
                        1e-12f * db2level(120.0f) * db2level(120.0f));
    }
    CABMatrix off;
    off.setGains0(level2db(0.0f), 0, 0, 0);
    EXPECT_EQ(convert(off, capsule(0))[0], 0.0f);
}
