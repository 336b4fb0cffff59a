#include "dsp/ABMatrix.h"

#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace filtertest;

namespace {

struct Block {
    std::array<std::vector<float>, 4> ch;
    explicit Block(size_t n) {
        for (auto& c : ch)
            c.assign(n, 0.0f);
    }
    void process(CABMatrix& m, long n) {
        m.process(ch[0].data(), ch[1].data(), ch[2].data(), ch[3].data(), n);
    }
};

// The conversion in double from linear gains: signs, the 1/sqrt(2) on W and the output gains.
std::array<double, 4> reference(const double g[4][4], const double out[4], const double s[4]) {
    static const int sign[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
    std::array<double, 4> r{};
    for (int o = 0; o < 4; ++o) {
        double sum = 0.0;
        for (int c = 0; c < 4; ++c)
            sum += sign[o][c] * g[o][c] * s[c];
        r[o] = sum * out[o] * (o == 0 ? 1.0 / std::sqrt(2.0) : 1.0);
    }
    return r;
}

} // namespace

TEST(Decibels, ConversionsGiveTheStatedValues) {
    EXPECT_EQ(db2level(0.0f), 1.0f);
    EXPECT_EQ(db2level(6.0f), 1.9952623f);
    EXPECT_EQ(db2level(-6.0f), 0.5011872f);
    EXPECT_EQ(level2db(0.5f), -6.0205998f);
    EXPECT_EQ(level2db(1.0f), 0.0f);
    EXPECT_EQ(level2db(0.0f), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(db2level(level2db(0.0f)), 0.0f);
    for (float dB = -60.0f; dB <= 60.0f; dB += 0.75f) {
        EXPECT_NEAR(db2level(dB), std::pow(10.0, dB / 20.0), 2e-7 * std::pow(10.0, dB / 20.0));
        EXPECT_NEAR(level2db(db2level(dB)), dB, 2e-5);
    }
}

TEST(Decibels, LimitedLevelStopsAtPlus120AndTreatsNaNAsUnity) {
    EXPECT_EQ(limitedDb2level(-6.0f), db2level(-6.0f));
    EXPECT_EQ(limitedDb2level(119.0f), db2level(119.0f));
    EXPECT_EQ(limitedDb2level(120.0f), db2level(120.0f));
    EXPECT_EQ(limitedDb2level(1e30f), db2level(120.0f));
    EXPECT_EQ(limitedDb2level(std::numeric_limits<float>::infinity()), db2level(120.0f));
    EXPECT_EQ(limitedDb2level(-std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_EQ(limitedDb2level(std::numeric_limits<float>::quiet_NaN()), 1.0f);
    EXPECT_TRUE(std::isinf(db2level(1e30f))); // what the limit is there for
}

TEST(ABMatrix, UnitGainsGiveTheStatedOutputs) {
    CABMatrix m;
    Block one(1);
    one.ch[0][0] = 1.0f;
    one.process(m, 1);
    EXPECT_EQ(one.ch[0][0], 0.70710677f);
    EXPECT_EQ(one.ch[1][0], 1.0f);
    EXPECT_EQ(one.ch[2][0], 1.0f);
    EXPECT_EQ(one.ch[3][0], 1.0f);

    Block equal(3);
    const float s[3] = {1.0f, -0.25f, 3.0f};
    for (auto& c : equal.ch)
        std::copy(s, s + 3, c.begin());
    equal.process(m, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(equal.ch[0][i], static_cast<float>(4.0 * s[i] / std::sqrt(2.0)));
        EXPECT_EQ(equal.ch[1][i], 0.0f);
        EXPECT_EQ(equal.ch[2][i], 0.0f);
        EXPECT_EQ(equal.ch[3][i], 0.0f);
    }
    EXPECT_NEAR(equal.ch[0][0], 2.828427, 1e-6);

    // Each capsule alone: the sign pattern of the conversion.
    const float expected[4][4] = {{0.70710677f, 1, 1, 1},
                                  {0.70710677f, 1, -1, -1},
                                  {0.70710677f, -1, 1, -1},
                                  {0.70710677f, -1, -1, 1}};
    for (int capsule = 0; capsule < 4; ++capsule) {
        Block b(1);
        b.ch[capsule][0] = 1.0f;
        b.process(m, 1);
        for (int o = 0; o < 4; ++o)
            EXPECT_EQ(b.ch[o][0], expected[capsule][o]) << capsule << o;
    }
}

TEST(ABMatrix, EmptyOrNegativeCountLeavesBuffersAlone) {
    CABMatrix m;
    m.setOutGains(6, 6, 6, 6);
    for (long n : {0L, -1L, -100000L}) {
        Block b(8);
        for (int c = 0; c < 4; ++c)
            b.ch[c] = noise(8, 10 + c);
        const Block before = b;
        b.process(m, n);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(b.ch[c], before.ch[c]);
    }
}

TEST(ABMatrix, GainSettersFillTheirRowsOnly) {
    CABMatrix m;
    m.setGains1(1, 2, 3, 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(m.getGain(0, c), 0.0f);
        for (int o = 1; o < 4; ++o)
            EXPECT_EQ(m.getGain(o, c), c + 1.0f);
    }
    m.setGains0(-1, -2, -3, -4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(m.getGain(0, c), -(c + 1.0f));
        for (int o = 1; o < 4; ++o)
            EXPECT_EQ(m.getGain(o, c), c + 1.0f);
    }
    for (int o = 0; o < 4; ++o)
        EXPECT_EQ(m.getOutGain(o), 0.0f);

    // Through the conversion: W sees only the row-W gain of capsule 1, X only its row-X gain.
    CABMatrix w;
    w.setGains0(-6, 0, 0, 0);
    Block b(1);
    b.ch[0][0] = 1.0f;
    b.process(w, 1);
    EXPECT_EQ(b.ch[0][0], static_cast<float>(0.5011872f / std::sqrt(2.0)));
    EXPECT_EQ(b.ch[1][0], 1.0f);
    CABMatrix x;
    x.setGains1(-6, 0, 0, 0);
    Block bx(1);
    bx.ch[0][0] = 1.0f;
    bx.process(x, 1);
    EXPECT_EQ(bx.ch[0][0], 0.70710677f);
    for (int o = 1; o < 4; ++o)
        EXPECT_EQ(bx.ch[o][0], 0.5011872f);
}

TEST(ABMatrix, TableIsTransposedAndOutputGainsActPerOutput) {
    float gains[4][4] = {};
    gains[1][1] = -6.0f; // capsule 2 into X
    CABMatrix m;
    m.setGains4x4(gains);
    EXPECT_EQ(m.getGain(1, 1), -6.0f);
    for (int capsule = 0; capsule < 4; ++capsule) {
        Block b(1);
        b.ch[capsule][0] = 1.0f;
        b.process(m, 1);
        const float x = capsule == 1 ? 0.5011872f : (capsule < 2 ? 1.0f : -1.0f);
        EXPECT_EQ(b.ch[1][0], x) << capsule;
        EXPECT_EQ(b.ch[0][0], 0.70710677f);
        EXPECT_EQ(std::fabs(b.ch[2][0]), 1.0f);
        EXPECT_EQ(std::fabs(b.ch[3][0]), 1.0f);
    }

    CABMatrix z;
    z.setOutGains(0, 0, 0, -6);
    Block b(64), plain(64);
    for (int c = 0; c < 4; ++c)
        b.ch[c] = plain.ch[c] = noise(64, 20 + c);
    CABMatrix unity;
    b.process(z, 64);
    plain.process(unity, 64);
    for (int o = 0; o < 3; ++o)
        EXPECT_EQ(b.ch[o], plain.ch[o]);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(b.ch[3][i], 0.5011872f * plain.ch[3][i]);
}

TEST(ABMatrix, RandomGainsMatchADoubleReferenceInPlace) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> dB(-12.0f, 12.0f);
    for (int trial = 0; trial < 20; ++trial) {
        float gains[4][4];
        double linear[4][4], out[4];
        for (int c = 0; c < 4; ++c)
            for (int o = 0; o < 4; ++o)
                gains[c][o] = dB(generator);
        float outDb[4];
        for (int o = 0; o < 4; ++o)
            outDb[o] = dB(generator);
        for (int o = 0; o < 4; ++o) {
            for (int c = 0; c < 4; ++c)
                linear[o][c] = std::pow(10.0, gains[c][o] / 20.0);
            out[o] = std::pow(10.0, outDb[o] / 20.0);
        }
        CABMatrix m;
        m.setGains4x4(gains);
        m.setOutGains(outDb[0], outDb[1], outDb[2], outDb[3]);
        Block b(257);
        for (int c = 0; c < 4; ++c)
            b.ch[c] = noise(257, 100 * trial + c);
        const Block in = b;
        b.process(m, 257);
        for (int i = 0; i < 257; ++i) {
            const double s[4] = {in.ch[0][i], in.ch[1][i], in.ch[2][i], in.ch[3][i]};
            const auto r = reference(linear, out, s);
            for (int o = 0; o < 4; ++o)
                ASSERT_NEAR(b.ch[o][i], r[o], 1e-5) << trial << " " << i;
        }
    }
}

TEST(ABMatrix, HugeGainsFromExtrapolatedParametersStayFinite) {
    // A host may send parameter values far outside 0..1: 24 p - 12 dB then asks for anything.
    const float huge[] = {200.0f, 1000.0f, 1e30f, std::numeric_limits<float>::max()};
    for (float g : huge) {
        float gains[4][4];
        for (auto& row : gains)
            for (auto& v : row)
                v = g;
        CABMatrix m;
        m.setGains4x4(gains);
        m.setOutGains(g, g, g, g);
        Block b(512);
        for (int c = 0; c < 4; ++c)
            b.ch[c] = noise(512, 40 + c);
        b.process(m, 512);
        for (int o = 0; o < 4; ++o)
            EXPECT_TRUE(allFinite(b.ch[o])) << g;
        Block unit(1);
        unit.ch[1][0] = 1e-12f;
        unit.process(m, 1);
        EXPECT_FLOAT_EQ(unit.ch[1][0], 1e-12f * db2level(120.0f) * db2level(120.0f));
    }
    // -infinity dB (level2db of 0) switches a capsule off.
    CABMatrix off;
    off.setGains0(level2db(0.0f), 0, 0, 0);
    Block b(1);
    b.ch[0][0] = 1.0f;
    b.process(off, 1);
    EXPECT_EQ(b.ch[0][0], 0.0f);
}
