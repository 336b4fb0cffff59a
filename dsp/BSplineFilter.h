#pragma once

#include "dsp/FFTFilter.h"

// An FFT convolution filter whose response is a smooth curve through (frequency, level) points:
// a cubic B-spline in the plane of natural-log frequency and decibels, evaluated at 2048
// parameter values and sampled into the 1024 bins of the response, twice its level in dB.
//
// Slot 0 is the low end point (1 Hz), slots 1 .. numPoints - 1 the added points, and slot
// numPoints the high end point (half the rate) that each design writes.
class CBSplineFilter : public CFFTFilter {
public:
    CBSplineFilter();
    explicit CBSplineFilter(bool phaseStep);

    // Ignored once kMaxPoints points are in; points are expected in rising frequency.
    void addPoint(float freqHz, float levelDb);
    // A curve needs at least two added points (four control points for a cubic); with fewer,
    // or with points that give no finite curve, the filter passes the signal through.
    void internalSetSamplingRate(float rate) override;
    // The same curve: the same points and the same phase step.
    bool designsLike(const CFFTFilter& other) const override;

    void setPhaseStep(bool on) { phaseStep = on; }
    bool getPhaseStep() const { return phaseStep; }
    int getNumPoints() const { return numPoints; }
    double getLevel(int slot) const { return validSlot(slot) ? levels[slot] : 0.0; }
    double getLogFreq(int slot) const { return validSlot(slot) ? logFreqs[slot] : 0.0; }
    // The columns a design samples, c0 + 1 to c1, from the knots of the last design (valid until
    // the next addPoint).
    void getColumnRange(int* c0, int* c1) const;

    static constexpr int kMaxPoints = 101;
    static constexpr int kMaxSlots = kMaxPoints + 2;
    static constexpr int kOrder = 4;
    static constexpr int kNumKnots = kMaxSlots + 8;
    static constexpr int kBasisRows = kMaxSlots + 5;
    static constexpr int kColumns = 2048;
    static constexpr int kMinPointsForDesign = 3; // slot 0 and two added points

protected:
    bool phaseStep;             // give the sampled, zero-phase curve a phase after sampling
    double levels[kMaxSlots];   // dB
    double logFreqs[kMaxSlots]; // natural logarithm of the frequency in Hz
    double knots[kNumKnots];
    int numPoints; // slots in use

private:
    static bool validSlot(int slot) { return slot >= 0 && slot < kMaxSlots; }
    void computeKnots(int n);
    // One column of the basis matrix: the basis functions at parameter t, non-zero in rows
    // i - 3 .. i only, where i is returned. The matrix itself is never held; `span` carries the
    // knot interval from column to column.
    int evaluateBasisColumn(double t, int n, int& span, double* column) const;
};
