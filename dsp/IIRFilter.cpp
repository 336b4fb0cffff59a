#include "dsp/IIRFilter.h"

#include "dsp/FilterCoefficients.h"

#include <cmath>

namespace {
constexpr int kHistoryMask = CIIRFilter::kHistoryLength - 1;
static_assert((CIIRFilter::kHistoryLength & kHistoryMask) == 0, "history length is a power of 2");

// The histories hold kHistoryLength samples, so no more coefficients than that can be applied.
int usableCount(int count, const float* array) {
    if (array == nullptr || count < 0) return 0;
    return count < CIIRFilter::kHistoryLength ? count : CIIRFilter::kHistoryLength;
}
} // namespace

CIIRFilter::CIIRFilter() : CIIRFilter(1) {}

CIIRFilter::CIIRFilter(int form)
    : form(form), coefficients(nullptr), numA(0), numB(0), historyIndex(0), aCoeffs(nullptr),
      bCoeffs(nullptr) {
    CIIRFilter::init();
}

CIIRFilter::~CIIRFilter() = default;

void CIIRFilter::init() {
    CIIRFilter::clearBuffers();
    historyIndex = 0;
    coefficients = nullptr;
}

void CIIRFilter::setCoefficients(CFilterCoefficients* set) {
    coefficients = set;
}

void CIIRFilter::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    if (coefficients == nullptr) return;
    aCoeffs = coefficients->getCoefficientsA(rate);
    bCoeffs = coefficients->getCoefficientsB(rate);
    numA = usableCount(coefficients->getFilterSizeA(rate), aCoeffs);
    numB = usableCount(coefficients->getFilterSizeB(rate), bCoeffs);
}

void CIIRFilter::clearBuffers() {
    for (int i = 0; i < kHistoryLength; ++i) {
        inputHistory[i] = 0.0f;
        outputHistory[i] = 0.0f;
    }
}

void CIIRFilter::doFilter(float* samples, long count) {
    if (numA == 0 || numB == 0 || count <= 0) return;
    // The computed sections get loops of their own: the same arithmetic in the same order, with
    // the recent history held in registers.
    if (numB == 3 && numA == 2)
        runSecondOrder(samples, count);
    else if (numB == 2 && numA == 1)
        runFirstOrder(samples, count);
    else
        runGeneral(samples, count);
    checkState(samples, count);
}

// The block is counted in long: hosts and the offline tool pass blocks of any length.
void CIIRFilter::runGeneral(float* samples, long count) {
    const int nA = numA, nB = numB;
    const float* a = aCoeffs;
    const float* b = bCoeffs;
    int i = historyIndex;
    for (long n = 0; n < count; ++n) {
        inputHistory[i] = samples[n];
        float acc = 0.0f;
        for (int j = 0; j < nB; ++j)
            acc += b[j] * inputHistory[(i - j) & kHistoryMask];
        for (int j = 0; j < nA; ++j)
            acc -= a[j] * outputHistory[(i - 1 - j) & kHistoryMask];
        samples[n] = acc;
        outputHistory[i] = acc;
        i = (i + 1) & kHistoryMask;
    }
    historyIndex = i;
}

void CIIRFilter::runSecondOrder(float* samples, long count) {
    const float b0 = bCoeffs[0], b1 = bCoeffs[1], b2 = bCoeffs[2];
    const float a1 = aCoeffs[0], a2 = aCoeffs[1];
    int i = historyIndex;
    float x1 = inputHistory[(i - 1) & kHistoryMask], x2 = inputHistory[(i - 2) & kHistoryMask];
    float y1 = outputHistory[(i - 1) & kHistoryMask], y2 = outputHistory[(i - 2) & kHistoryMask];
    for (long n = 0; n < count; ++n) {
        const float x0 = samples[n];
        float acc = 0.0f;
        acc += b0 * x0;
        acc += b1 * x1;
        acc += b2 * x2;
        acc -= a1 * y1;
        acc -= a2 * y2;
        samples[n] = acc;
        inputHistory[i] = x0;
        outputHistory[i] = acc;
        i = (i + 1) & kHistoryMask;
        x2 = x1;
        x1 = x0;
        y2 = y1;
        y1 = acc;
    }
    historyIndex = i;
}

void CIIRFilter::runFirstOrder(float* samples, long count) {
    const float b0 = bCoeffs[0], b1 = bCoeffs[1], a1 = aCoeffs[0];
    int i = historyIndex;
    float x1 = inputHistory[(i - 1) & kHistoryMask], y1 = outputHistory[(i - 1) & kHistoryMask];
    for (long n = 0; n < count; ++n) {
        const float x0 = samples[n];
        float acc = 0.0f;
        acc += b0 * x0;
        acc += b1 * x1;
        acc -= a1 * y1;
        samples[n] = acc;
        inputHistory[i] = x0;
        outputHistory[i] = acc;
        i = (i + 1) & kHistoryMask;
        x1 = x0;
        y1 = acc;
    }
    historyIndex = i;
}

// Runs once per block on the history the next sample will read: a NaN or infinity there
// (a NaN input, an overflowing coefficient set) would otherwise poison every later block.
void CIIRFilter::checkState(float* samples, long count) {
    const int i = historyIndex;
    bool finite = true;
    float largest = 0.0f;
    for (int j = 1; j < numB; ++j) {
        const float v = inputHistory[(i - j) & kHistoryMask];
        finite = finite && std::isfinite(v);
        largest = std::fmax(largest, std::fabs(v));
    }
    for (int j = 0; j < numA; ++j) {
        const float v = outputHistory[(i - 1 - j) & kHistoryMask];
        finite = finite && std::isfinite(v);
        largest = std::fmax(largest, std::fabs(v));
    }
    if (!finite) {
        clearBuffers();
        zeroNonFinite(samples, count);
    } else if (largest < kTinyState) {
        for (int j = 1; j < numB; ++j)
            inputHistory[(i - j) & kHistoryMask] = 0.0f;
        for (int j = 0; j < numA; ++j)
            outputHistory[(i - 1 - j) & kHistoryMask] = 0.0f;
    }
}

float CIIRFilter::prewarp(float frequency, float rate) {
    const float pi = 3.1415927f;
    const float angle = (pi * frequency) / rate;
    return static_cast<float>(std::tan(static_cast<double>(angle)));
}

bool CIIRFilter::isStableFirstOrder(float a1) {
    return std::isfinite(a1) && std::fabs(a1) < 1.0f;
}

// The margin rejects poles within rounding of the unit circle: a centre at exactly half the rate
// gives |k1| = 1 - 1e-15 through the single-precision 2 pi. Single-precision coefficients are
// either on the circle or at least an ulp (6e-8) inside it, so they never meet the margin.
bool CIIRFilter::isStableSecondOrder(double a1, double a2) {
    const double margin = 1.0 - 1e-9;
    return std::isfinite(a1) && std::isfinite(a2) && std::fabs(a2) < margin &&
           std::fabs(a1) < (1.0 + a2) * margin;
}

bool CIIRFilter::designRange(float rate, float& lowest, float& highest) {
    if (!std::isfinite(rate) || !(rate > 0.0f)) return false;
    lowest = rate * 1e-5f;
    highest = rate * 0.49f;
    return lowest > 0.0f && std::isfinite(highest);
}

float CIIRFilter::clampInto(float v, float lowest, float highest) {
    if (!(v >= lowest)) return lowest;
    return v > highest ? highest : v;
}

void CIIRFilter::zeroNonFinite(float* samples, long count) {
    for (long n = 0; n < count; ++n)
        if (!std::isfinite(samples[n])) samples[n] = 0.0f;
}

void CIIRFilter::createSectionSet(int nA, int nB) {
    ownedSet.reset(new CFilterCoefficients());
    ownedSet->setFilterSizeA(1.0f, nA);
    ownedSet->setFilterSizeB(1.0f, nB);
    coefficients = ownedSet.get();
    aCoeffs = ownedSet->getCoefficientsA(1.0f);
    bCoeffs = ownedSet->getCoefficientsB(1.0f);
    numA = nA;
    numB = nB;
}

void CIIRFilter::setPassThrough() {
    for (int j = 0; j < numA; ++j)
        aCoeffs[j] = 0.0f;
    for (int j = 0; j < numB; ++j)
        bCoeffs[j] = j == 0 ? 1.0f : 0.0f;
}
