#pragma once

#include "dsp/Filter.h"

#include <memory>

class CFilterCoefficients;

// Recursive filter in direct form I: y[n] = b0 x[n] + b1 x[n-1] + ... - a1 y[n-1] - ..., in
// single precision, on the coefficients a set holds for the current rate. It is also the base of
// the computed sections, which fill numA, numB, aCoeffs and bCoeffs themselves.
class CIIRFilter : public CFilter {
public:
    CIIRFilter();
    // Every form is run as direct form I; the value is only recorded.
    explicit CIIRFilter(int form);
    ~CIIRFilter() override;
    CIIRFilter(const CIIRFilter&) = delete;
    CIIRFilter& operator=(const CIIRFilter&) = delete;

    void init() override;
    void setCoefficients(CFilterCoefficients* set) override;
    void setSamplingRate(float rate) override;
    void doFilter(float* samples, long count) override;
    void clearBuffers() override;

    int getForm() const { return form; }
    int getNumA() const { return numA; }
    int getNumB() const { return numB; }
    // a(j + 1) and b(j); 0 outside the counts.
    float getA(int j) const { return j >= 0 && j < numA ? aCoeffs[j] : 0.0f; }
    float getB(int j) const { return j >= 0 && j < numB ? bCoeffs[j] : 0.0f; }
    int getHistoryIndex() const { return historyIndex; }
    const CFilterCoefficients* getCoefficientSet() const { return coefficients; }

    static constexpr int kHistoryLength = 1024;
    // Below this magnitude the recursive state is flushed to zero at the end of a block, so that
    // silence never leaves a filter running on subnormal numbers.
    static constexpr float kTinyState = 1e-30f;

protected:
    // K = tan(pi f / fs) as the bilinear sections take it: pi and the quotient in single
    // precision, the tangent in double.
    static float prewarp(float frequency, float rate);
    // Strict stability of 1 + a1 z^-1 (+ a2 z^-2), judged on the values actually used; the
    // second-order test keeps a relative margin of 1e-9 from the unit circle.
    static bool isStableFirstOrder(float a1);
    static bool isStableSecondOrder(double a1, double a2);
    // The frequencies a redesign may use at this rate, [rate * 1e-5, rate * 0.49]; false when
    // the rate itself is unusable.
    static bool designRange(float rate, float& lowest, float& highest);
    // v limited to [lowest, highest]; NaN becomes lowest.
    static float clampInto(float v, float lowest, float highest);
    // Replaces NaN and infinite samples by 0.
    static void zeroNonFinite(float* samples, long count);

    // Tries a design at the frequency clamped into designRange, then at rising frequencies:
    // single-precision second-order sections lose their stability margin near 0 Hz. False when
    // no frequency works.
    template <typename Design> bool redesignNear(float frequency, Design tryDesign) const {
        float lowest, highest;
        if (!designRange(samplingRate, lowest, highest)) return false;
        for (float f = clampInto(frequency, lowest, highest); f <= highest; f *= 1.25f)
            if (tryDesign(f)) return true;
        return false;
    }

    // Gives the section its own coefficient set with nA and nB entries under the key 1.0 and
    // points the filter at it.
    void createSectionSet(int nA, int nB);
    // b0 = 1, every other coefficient 0: the section passes its input.
    void setPassThrough();

    int form;
    CFilterCoefficients* coefficients; // not owned (unless it is ownedSet)
    int numA;                          // a1 .. a(numA); at most kHistoryLength
    int numB;                          // b0 .. b(numB - 1); at most kHistoryLength
    float inputHistory[kHistoryLength];
    float outputHistory[kHistoryLength];
    int historyIndex; // slot of the next sample in both histories
    float* aCoeffs;
    float* bCoeffs;
    std::unique_ptr<CFilterCoefficients> ownedSet; // a computed section's own set

private:
    void runGeneral(float* samples, long count);
    void runSecondOrder(float* samples, long count);
    void runFirstOrder(float* samples, long count);
    void checkState(float* samples, long count);
};
