#include "dsp/BSplineFilter.h"

#include "dsp/ABMatrix.h"

#include <cmath>
#include <typeinfo>

CBSplineFilter::CBSplineFilter() : CBSplineFilter(false) {}

CBSplineFilter::CBSplineFilter(bool phaseStep)
    : CFFTFilter(), phaseStep(phaseStep), levels(), logFreqs(), knots(), numPoints(1) {}

void CBSplineFilter::addPoint(float freqHz, float levelDb) {
    if (numPoints >= kMaxPoints + 1) return;
    levels[numPoints] = levelDb;
    logFreqs[numPoints] = std::log(static_cast<double>(freqHz));
    ++numPoints;
}

void CBSplineFilter::computeKnots(int n) {
    // Nearly equal end knots clamp the curve without zero-length intervals.
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
}

void CBSplineFilter::getColumnRange(int* c0, int* c1) const {
    const double columnStep = 1.0 / kColumns;
    const int n = numPoints;
    const double end = n >= kMinPointsForDesign ? knots[n + 1] : knots[0];
    *c0 = static_cast<int>((knots[3] - knots[0]) / columnStep) + 1;
    *c1 = static_cast<int>((end - knots[0]) / columnStep);
}

int CBSplineFilter::evaluateBasisColumn(double t, int n, int& span, double* column) const {
    // t never reaches knots[n + 2]; the bound only keeps every index inside the knot vector.
    while (span < n + 2 && t >= knots[span])
        ++span;
    const int i = span > 0 ? span - 1 : 0;
    // The recursion reads and writes rows i - 3 .. i + 1 only; all other rows of the column are
    // zero, so only these are cleared and later summed.
    for (int row = (i - 3 > 0 ? i - 3 : 0); row <= i + 1; ++row)
        column[row] = 0.0;
    column[i] = 1.0;
    for (int d = 2; d <= kOrder; ++d) {
        for (int j = (i - d + 1 > 0 ? i - d + 1 : 0); j <= i; ++j) {
            column[j] = column[j] * (t - knots[j]) / (knots[j + d - 1] - knots[j]) +
                        column[j + 1] * (knots[j + d] - t) / (knots[j + d] - knots[j + 1]);
        }
    }
    return i;
}

bool CBSplineFilter::designsLike(const CFFTFilter& other) const {
    if (typeid(*this) != typeid(other)) return false;
    const auto& spline = static_cast<const CBSplineFilter&>(other);
    if (phaseStep != spline.phaseStep || numPoints != spline.numPoints) return false;
    // A design takes slot 0's level from slot 1, so only its frequency counts.
    for (int slot = 0; slot < numPoints; ++slot)
        if ((slot > 0 && levels[slot] != spline.levels[slot]) ||
            logFreqs[slot] != spline.logFreqs[slot])
            return false;
    return true;
}

void CBSplineFilter::internalSetSamplingRate(float rate) {
    if (!(std::isfinite(rate) && rate > 0.0f)) {
        // Nothing to design for: keep the design there is, or pass the signal through.
        if (!fft) {
            renewTransform();
            setPassThroughResponse();
        }
        return;
    }
    samplingRate = rate;
    renewTransform();

    const int n = numPoints;
    // Too few points for a cubic: pass through with the usual latency.
    if (n < kMinPointsForDesign) {
        setPassThroughResponse();
        return;
    }
    levels[0] = levels[1];
    levels[n] = levels[n - 1];
    const double nyquist = rate / 2.0;
    logFreqs[n] = std::log(nyquist);
    for (int j = 0; j <= n; ++j) {
        if (!std::isfinite(levels[j]) || !std::isfinite(logFreqs[j])) {
            setPassThroughResponse();
            return;
        }
    }
    computeKnots(n);
    int c0 = 0, c1 = 0;
    getColumnRange(&c0, &c1);
    if (c1 <= c0) {
        setPassThroughResponse();
        return;
    }

    double column[kBasisRows];
    double t = 1e-5;
    int span = 0;
    int prev = 0;
    double level = 0.0;
    for (int c = 0; c <= c1; ++c) {
        const int i = evaluateBasisColumn(t, n, span, column);
        if (c > c0) {
            // Summing the non-zero rows alone gives the full sums bit for bit: the left-out
            // products are zeros, and adding a zero leaves a sum that started at +0.0 unchanged.
            const int first = i - 3 > 0 ? i - 3 : 0;
            const int last = i < n ? i : n;
            level = 0.0;
            double logFreq = 0.0;
            for (int j = first; j <= last; ++j)
                level += levels[j] * column[j];
            for (int j = first; j <= last; ++j)
                logFreq += logFreqs[j] * column[j];
            const double position = std::trunc(std::exp(logFreq) / nyquist * 1024.0);
            // Every bin past the top is discarded alike, so the clamp changes no written bin.
            const int bin = position < 2.0 * kHop ? static_cast<int>(position) : 2 * kHop;
            if (bin >= prev) {
                const double value = db2level(static_cast<float>(2.0 * level));
                for (int b = prev; b <= bin && b < kHop; ++b)
                    response[b] = value;
            }
            prev = bin;
        }
        t += 1.0 / kColumns;
    }
    if (prev != kHop - 1) {
        const double value = db2level(static_cast<float>(2.0 * level));
        for (int b = prev; b < kHop; ++b)
            response[b] = value;
    }
    for (int b = kHop; b < kFFTSize; ++b)
        response[b] = 0.0;

    // The doubling starts at element 1 and the exponential is divided by 2 sqrt(2).
    if (phaseStep) applyPhaseStep(1, kHop + 1, 2.0 * std::sqrt(2.0));
    if (!responseIsFinite()) setPassThroughResponse();
}
