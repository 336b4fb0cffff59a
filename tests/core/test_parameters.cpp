// The conversions at their edges, and the linking of capsules. Names, labels, displays, factory
// values and the output choices beyond their ends through the host record are in
// tests/integration.

#include "TestProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Conversions, ExactValuesAndEdges) {
    EXPECT_EQ(oneMAXFREQConvert(0.0f), 20.0f);
    EXPECT_EQ(oneMAXFREQConvert(1.0f), 20000.0f);
    EXPECT_FLOAT_EQ(freq2parm(1000.0f), static_cast<float>(std::log10(50.0) / 3.0));
    for (int n = 0; n <= 7; ++n)
        EXPECT_EQ(oneMAXFILTERConvert(filter2parm(n)), n);
    EXPECT_TRUE(parm2bool(0.50000006f));

    // Out-of-range values never become undefined integers.
    for (float p : {8.0f / 7.0f, 1e30f, -1e30f, INFINITY, -INFINITY, std::nanf("")})
        EXPECT_EQ(oneMAXFILTERConvert(p), -1) << p;
    EXPECT_EQ(oneMAXFILTERConvert(-0.1f), 0); // truncation toward zero
    EXPECT_GT(oneMAXCAPConvert(1e30f), 4);
    EXPECT_LT(oneMAXVIEWConvert(-1e30f), 1);
    EXPECT_EQ(oneMAXORIENTATIONConvert(std::nanf("")), 0);
}

TEST(Conversions, Hz2OctBisection) {
    // Against the closed form 2 asinh(bw / 2fc) / ln 2, within the bisection's last step.
    for (double fc : {50.0, 440.0, 8000.0})
        for (double ratio : {0.1, 0.5, 1.0, 2.0})
            EXPECT_NEAR(hz2oct(fc, ratio * fc), 2.0 * std::asinh(ratio / 2.0) / std::log(2.0), 2e-4)
                << fc << " " << ratio;
    // A zero centre frequency has no octave width: the search must not run forever.
    EXPECT_EQ(hz2oct(0.0, 100.0), 0.0);
    EXPECT_EQ(hz2oct(0.0, 0.0), 0.0);
}

TEST(Links, SetByTheHostAndByTheProgramBeingLoaded) {
    TestXeTetra processor;
    processor.setParameter(kEQsLinked, 1.0f);
    processor.setParameter(15 + 7 * 2, 0.4f);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(processor.eqWidth[c], 2.0f);
        EXPECT_EQ(processor.programs[0].values[kSlotEQWidthBase + c], 0.4f);
    }
    processor.setParameter(kEQsLinked, 0.0f);
    processor.setParameter(kGainsLinked, 1.0f);
    processor.setParameter(17 + 7, 0.75f);
    // With gains linked, an EQ change leaves every gain alone.
    processor.setParameter(14 + 7 * 3, 0.9f);
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(processor.capGains[c][k], c == 1 ? 6.0f : 0.0f);
    // Switching a link on does not align values already stored.
    processor.setParameter(14, 0.2f);
    processor.setParameter(kEQsLinked, 1.0f);
    EXPECT_NE(processor.eqFreq[0], processor.eqFreq[1]);

    // A program with both flags: each capsule's gain into output 1 is spread to its four outputs
    // when it is passed, replacing the stored gains of outputs 2 to 4 before they are read.
    AXeTetraProgram& program = processor.programs[5];
    program.values[kSlotEQsLinked] = 1.0f;
    program.values[kSlotGainsLinked] = 1.0f;
    for (int c = 0; c < 4; ++c) {
        program.values[kSlotEQFreqBase + c] = 0.1f * static_cast<float>(c + 1);
        program.values[kSlotEQWidthBase + c] = 0.05f * static_cast<float>(c + 1);
        for (int k = 0; k < 4; ++k)
            program.values[kSlotCapGainBase + 4 * c + k] = 0.1f * static_cast<float>(k + 1);
    }
    processor.setProgram(5);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(processor.eqFreq[c], oneMAXFREQConvert(0.1f));
        EXPECT_EQ(processor.eqWidth[c], parm2width(0.05f));
        EXPECT_EQ(program.values[kSlotEQFreqBase + c], 0.1f);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(processor.capGains[c][k], parm2PlusMinus12(0.1f)) << c << k;
            EXPECT_EQ(program.values[kSlotCapGainBase + 4 * c + k], 0.1f);
        }
    }
}
