#include "TestProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Conversions, FactoryAndCalibrationValuesConvertExactly) {
    EXPECT_FLOAT_EQ(oneLOWFREQConvert(0.0f), 20.0f);
    EXPECT_FLOAT_EQ(oneLOWFREQConvert(1.0f), 250.0f);
    EXPECT_FLOAT_EQ(oneMAXFREQConvert(0.0f), 20.0f);
    EXPECT_FLOAT_EQ(oneMAXFREQConvert(1.0f), 20000.0f);
    EXPECT_FLOAT_EQ(oneMAXFREQConvert(0.5f), 632.4555f);
    // The factory program values, to the printed digits.
    EXPECT_FLOAT_EQ(lowfreq2parm(25.0f), 0.08834819f);
    EXPECT_FLOAT_EQ(lowfreq2parm(150.0f), 0.79775119f);
    EXPECT_FLOAT_EQ(lowfreq2parm(30.0f), 0.16053392f);
    EXPECT_FLOAT_EQ(lowfreq2parm(50.0f), 0.36278272f);
    EXPECT_FLOAT_EQ(plusMinus152parm(-8.0f), 0.23333333f);
    EXPECT_FLOAT_EQ(plusMinus152parm(-4.77f), 0.34099999f);
    EXPECT_EQ(filter2parm(2), 0.28571430f);
    EXPECT_EQ(filter2parm(1), 0.14285715f);
    EXPECT_EQ(parm2PlusMinus15(plusMinus152parm(-4.77f)), -4.7700005f);
    EXPECT_EQ(oneLOWFREQConvert(lowfreq2parm(25.0f)), 25.0f);
    EXPECT_EQ(oneLOWFREQConvert(lowfreq2parm(150.0f)), 150.0f);
    // Round trips of the integer conversions.
    for (int n = 0; n <= 7; ++n)
        EXPECT_EQ(oneMAXFILTERConvert(filter2parm(n)), n);
    for (int v = 1; v <= 3; ++v)
        EXPECT_EQ(oneMAXVIEWConvert(view2parm(v)), v);
    for (int o = 0; o <= 2; ++o)
        EXPECT_EQ(oneMAXORIENTATIONConvert(orientation2parm(o)), o);
    EXPECT_FALSE(parm2bool(0.5f));
    EXPECT_TRUE(parm2bool(0.50000006f));
    EXPECT_FLOAT_EQ(freq2parm(1000.0f), static_cast<float>(std::log10(50.0) / 3.0));
}

TEST(Conversions, Hz2OctBisection) {
    EXPECT_EQ(hz2oct(1000.0, 1000.0), 1.3885498046875);
    // Against the closed form 2 asinh(bw / 2fc) / ln 2, within the bisection's last step.
    for (double fc : {50.0, 440.0, 8000.0})
        for (double ratio : {0.1, 0.5, 1.0, 2.0}) {
            const double exact = 2.0 * std::asinh(ratio / 2.0) / std::log(2.0);
            EXPECT_NEAR(hz2oct(fc, ratio * fc), exact, 2e-4) << fc << " " << ratio;
        }
    // A zero centre frequency has no octave width: the search must not run forever.
    EXPECT_EQ(hz2oct(0.0, 100.0), 0.0);
    EXPECT_EQ(hz2oct(0.0, 0.0), 0.0);
}

TEST(Conversions, OutOfRangeValuesNeverBecomeUndefinedIntegers) {
    const float inf = INFINITY;
    for (float p : {8.0f / 7.0f, 1e30f, -1e30f, inf, -inf, std::nanf("")})
        EXPECT_EQ(oneMAXFILTERConvert(p), -1) << p;
    EXPECT_EQ(oneMAXFILTERConvert(-0.1f), 0); // truncation toward zero
    EXPECT_EQ(oneMAXFILTERConvert(1.0f), 7);
    EXPECT_GT(oneMAXCAPConvert(1e30f), 4);
    EXPECT_LT(oneMAXVIEWConvert(-1e30f), 1);
    // Three orientations and no others, whatever the value.
    EXPECT_EQ(oneMAXORIENTATIONConvert(1e30f), 2);
    EXPECT_EQ(oneMAXORIENTATIONConvert(-1e30f), 0);
    EXPECT_EQ(oneMAXORIENTATIONConvert(std::nanf("")), 0);
}

TEST(ParameterTable, EngineeringValuesAndDisplays) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    // Indices outside the table write and change nothing.
    for (int index : {-1, static_cast<int>(kNumParams), 1000}) {
        char text[8] = "x";
        processor.getParameterName(index, text);
        processor.getParameterLabel(index, text);
        processor.getParameterDisplay(index, text);
        EXPECT_STREQ(text, "x");
        EXPECT_EQ(processor.getParameter(index), 0.0f);
        processor.setParameter(index, 0.7f);
    }
    // Non-finite values are refused, whatever reaches the processor directly.
    for (int index = 0; index < kNumParams; ++index) {
        const float before = processor.getParameter(index);
        for (float v : {std::nanf(""), INFINITY, -INFINITY})
            processor.setParameter(index, v);
        EXPECT_EQ(processor.getParameter(index), before) << index;
    }
    EXPECT_EQ(processor.lfCutFreq, 25.0f);

    processor.setParameter(kLFCutFreq, 0.0f);
    EXPECT_EQ(processor.lfCutFreq, 20.0f);
    EXPECT_EQ(display(processor, kLFCutFreq), " 20.0");
    processor.setParameter(kLFCutFreq, 1.0f);
    EXPECT_FLOAT_EQ(processor.lfCutFreq, 250.0f);
    processor.setParameter(14, 0.5f);
    EXPECT_FLOAT_EQ(processor.eqFreq[0], 632.4555f);
    EXPECT_EQ(display(processor, 14), "632.5");
    processor.setParameter(14, 1.0f);
    EXPECT_FLOAT_EQ(processor.eqFreq[0], 20000.0f);
    processor.setParameter(kCurrentCapsule, 1.0f);
    EXPECT_EQ(processor.currentCapsule, 4);
    EXPECT_EQ(display(processor, kCurrentCapsule), " 4");
    processor.setParameter(kViewMode, 0.5f);
    EXPECT_EQ(processor.viewMode, 2);
    processor.setParameter(kLocked, 0.5f);
    EXPECT_EQ(display(processor, kLocked), "No");
    processor.setParameter(kLocked, 0.9f);
    EXPECT_EQ(display(processor, kLocked), "Yes");
    EXPECT_TRUE(processor.locked);
}

TEST(ParameterTable, FilterNumberSelectsExistingSetsOnly) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    EXPECT_EQ(processor.numPostMatrixSets, 3);
    processor.setParameter(kPostMatrixFilter, 0.3f);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 2);
    EXPECT_EQ(display(processor, kPostMatrixFilter), "2.3cm");
    EXPECT_EQ(processor.getParameter(kPostMatrixFilter), 0.3f);
    processor.setParameter(kPostMatrixFilter, 1.0f);
    EXPECT_EQ(processor.getParameter(kPostMatrixFilter), 1.0f);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 2);
    EXPECT_EQ(display(processor, kPostMatrixFilter), "2.3cm");
    // Extrapolated values select nothing; non-finite ones are not even stored.
    processor.setParameter(kPostMatrixFilter, 1e30f);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 2);
    processor.setParameter(kPostMatrixFilter, std::nanf(""));
    EXPECT_EQ(processor.getParameter(kPostMatrixFilter), 1e30f);
    processor.setParameter(kPostMatrixFilter, 0.15f);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 1);
    // Set 5 does not exist without calibrations.
    processor.SetCoincidenceFilter(5);
    EXPECT_EQ(processor.GetCoincidenceFilter(), 1);
    EXPECT_EQ(processor.GetCapCompFilter(), 0);
}

TEST(ParameterTable, LinkedEqualisersAndGains) {
    TempDirectory scratch;
    TestXeTetra processor(nullptr, noCalibrations(scratch));
    processor.setParameter(kEQsLinked, 1.0f);
    processor.setParameter(15 + 7 * 2, 0.4f);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(processor.eqWidth[c], 2.0f);
        EXPECT_EQ(processor.curValues[29 + c], 0.4f);
        EXPECT_EQ(processor.programs[0].values[29 + c], 0.4f);
    }
    processor.setParameter(kEQsLinked, 0.0f);
    processor.setParameter(kGainsLinked, 1.0f);
    processor.setParameter(17 + 7, 0.75f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(processor.capGains[1][k], 6.0f);
        EXPECT_EQ(processor.curValues[9 + 4 + k], 0.75f);
    }
    EXPECT_EQ(processor.capGains[0][0], 0.0f);
    // With gains linked, an EQ change leaves every gain alone.
    processor.setParameter(14 + 7 * 3, 0.9f);
    EXPECT_EQ(processor.eqGain[0], 0.0f);
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(processor.capGains[c][k], c == 1 ? 6.0f : 0.0f);
    // Switching a link on does not align values already stored.
    processor.setParameter(14, 0.2f);
    processor.setParameter(kEQsLinked, 1.0f);
    EXPECT_NE(processor.eqFreq[0], processor.eqFreq[1]);
}
