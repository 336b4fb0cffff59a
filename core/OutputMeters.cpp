#include "core/OutputMeters.h"

#include <cmath>

namespace {

// Far beyond any level worth showing, and still a finite float once squared sums are published.
constexpr double kLargest = 1e30;
constexpr double kLn10 = 2.302585092994045684;

// A plain comparison the compiler turns into one instruction (std::fmax is a library call).
inline float larger(float a, float b) {
    return b > a ? b : a;
}

float bounded(double value) {
    if (!(value > -kLargest)) return static_cast<float>(-kLargest); // NaN too, though none comes
    if (value > kLargest) return static_cast<float>(kLargest);
    return static_cast<float>(value);
}

} // namespace

COutputMeters::COutputMeters()
    : blockCount(0), enabled(false), acnOrder(false), rate(44100.0f), publishedBlocks(0),
      resetRequested(false) {
    clear();
    for (int k = 0; k < 4; ++k) {
        publishedPeak[k].store(0.0f, std::memory_order_relaxed);
        publishedMeanSquare[k].store(0.0f, std::memory_order_relaxed);
    }
    for (auto& value : publishedIntensity)
        value.store(0.0f, std::memory_order_relaxed);
}

void COutputMeters::clear() {
    for (int k = 0; k < 4; ++k) {
        peak[k] = 0.0;
        meanSquare[k] = 0.0;
    }
    for (double& value : intensity)
        value = 0.0;
}

void COutputMeters::setSampleRate(float newRate) {
    if (std::isfinite(newRate) && newRate > 0.0f) rate.store(newRate, std::memory_order_relaxed);
}

void COutputMeters::requestReset() {
    resetRequested.store(true, std::memory_order_release);
}

void COutputMeters::process(float* const* outputs, long frames) {
    if (!enabled.load(std::memory_order_relaxed) || outputs == nullptr || frames <= 0) return;
    for (int k = 0; k < 4; ++k)
        if (outputs[k] == nullptr) return;
    if (resetRequested.load(std::memory_order_relaxed) &&
        resetRequested.exchange(false, std::memory_order_acquire))
        clear();

    // Eight running sums per quantity, so that the loop runs in vector registers without the
    // sums being reordered; they are added up in double once per block.
    constexpr int kLanes = 8;
    float peaks[4][kLanes] = {};
    float squareLanes[4][kLanes] = {};
    float productLanes[3][kLanes] = {};
    const bool acn = acnOrder.load(std::memory_order_relaxed);
    const float* const w = outputs[0];
    const float* const x = outputs[acn ? 3 : 1];
    const float* const y = outputs[acn ? 1 : 2];
    const float* const z = outputs[acn ? 2 : 3];
    long i = 0;
    for (; i + kLanes <= frames; i += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            const float s0 = w[i + l], s1 = x[i + l], s2 = y[i + l], s3 = z[i + l];
            peaks[0][l] = larger(peaks[0][l], std::fabs(s0));
            peaks[1][l] = larger(peaks[1][l], std::fabs(s1));
            peaks[2][l] = larger(peaks[2][l], std::fabs(s2));
            peaks[3][l] = larger(peaks[3][l], std::fabs(s3));
            squareLanes[0][l] += s0 * s0;
            squareLanes[1][l] += s1 * s1;
            squareLanes[2][l] += s2 * s2;
            squareLanes[3][l] += s3 * s3;
            productLanes[0][l] += s0 * s1;
            productLanes[1][l] += s0 * s2;
            productLanes[2][l] += s0 * s3;
        }
    }
    for (; i < frames; ++i) {
        const float s0 = w[i], s1 = x[i], s2 = y[i], s3 = z[i];
        peaks[0][0] = larger(peaks[0][0], std::fabs(s0));
        peaks[1][0] = larger(peaks[1][0], std::fabs(s1));
        peaks[2][0] = larger(peaks[2][0], std::fabs(s2));
        peaks[3][0] = larger(peaks[3][0], std::fabs(s3));
        squareLanes[0][0] += s0 * s0;
        squareLanes[1][0] += s1 * s1;
        squareLanes[2][0] += s2 * s2;
        squareLanes[3][0] += s3 * s3;
        productLanes[0][0] += s0 * s1;
        productLanes[1][0] += s0 * s2;
        productLanes[2][0] += s0 * s3;
    }
    double blockPeak[4] = {0.0, 0.0, 0.0, 0.0};
    double squares[4] = {0.0, 0.0, 0.0, 0.0};
    double products[3] = {0.0, 0.0, 0.0};
    for (int l = 0; l < kLanes; ++l) {
        for (int k = 0; k < 4; ++k) {
            if (peaks[k][l] > blockPeak[k]) blockPeak[k] = peaks[k][l];
            squares[k] += squareLanes[k][l];
        }
        for (int j = 0; j < 3; ++j)
            products[j] += productLanes[j][l];
    }

    // One-pole averages over blocks: the weight of a block grows with its length, so any
    // block size gives the same time constants.
    const double seconds =
        static_cast<double>(frames) / static_cast<double>(rate.load(std::memory_order_relaxed));
    const double fall = std::exp(-seconds * kLn10 / kPeakFallSeconds);
    const double rmsWeight = -std::expm1(-seconds / kRmsSeconds);
    const double intensityWeight = -std::expm1(-seconds / kIntensitySeconds);
    const double perFrame = 1.0 / static_cast<double>(frames);
    for (int k = 0; k < 4; ++k) {
        const double falling = peak[k] * fall;
        peak[k] = blockPeak[k] > falling ? blockPeak[k] : falling;
        meanSquare[k] += rmsWeight * (squares[k] * perFrame - meanSquare[k]);
        // The host's samples are finite, but the sum of huge ones need not be.
        if (!std::isfinite(peak[k])) peak[k] = 0.0;
        if (!std::isfinite(meanSquare[k])) meanSquare[k] = 0.0;
    }
    for (int j = 0; j < 3; ++j) {
        intensity[j] += intensityWeight * (products[j] * perFrame - intensity[j]);
        if (!std::isfinite(intensity[j])) intensity[j] = 0.0;
    }

    for (int k = 0; k < 4; ++k) {
        publishedPeak[k].store(bounded(peak[k]), std::memory_order_relaxed);
        publishedMeanSquare[k].store(bounded(meanSquare[k]), std::memory_order_relaxed);
    }
    for (int j = 0; j < 3; ++j)
        publishedIntensity[j].store(bounded(intensity[j]), std::memory_order_relaxed);
    publishedBlocks.store(++blockCount, std::memory_order_release);
}

void COutputMeters::read(CReading& reading) const {
    // A block published while this reads may mix into the values; for a display that is fine.
    reading.blocks = publishedBlocks.load(std::memory_order_acquire);
    for (int k = 0; k < 4; ++k) {
        reading.peak[k] = publishedPeak[k].load(std::memory_order_relaxed);
        reading.meanSquare[k] = publishedMeanSquare[k].load(std::memory_order_relaxed);
    }
    for (int j = 0; j < 3; ++j)
        reading.intensity[j] = publishedIntensity[j].load(std::memory_order_relaxed);
}
