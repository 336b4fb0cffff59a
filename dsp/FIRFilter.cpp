#include "dsp/FIRFilter.h"

#include "dsp/FilterCoefficients.h"

#include <cmath>

CFIRFilter::CFIRFilter() : coefficients(nullptr), numTaps(0), writeIndex(0), taps(nullptr) {
    CFIRFilter::init();
}

CFIRFilter::~CFIRFilter() = default;

void CFIRFilter::init() {
    CFIRFilter::clearBuffers();
    writeIndex = 0;
}

void CFIRFilter::setCoefficients(CFilterCoefficients* set) {
    coefficients = set;
}

void CFIRFilter::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    if (coefficients == nullptr) return;
    taps = coefficients->getCoefficientsB(rate);
    int count = coefficients->getFilterSizeB(rate);
    if (taps == nullptr || count < 0) count = 0;
    numTaps = count < kMaxTaps ? count : kMaxTaps;
    // A shorter line than before: the next input must land inside it.
    if (writeIndex >= numTaps) writeIndex = 0;
}

void CFIRFilter::clearBuffers() {
    for (int i = 0; i < kMaxTaps; ++i)
        delayLine[i] = 0.0f;
}

void CFIRFilter::doFilter(float* samples, long count) {
    if (count <= 0) return;
    const int n = numTaps;
    for (long s = 0; s < count; ++s) {
        const int i = writeIndex;
        delayLine[i] = samples[s];
        writeIndex = i + 1 < n ? i + 1 : 0;
        float acc = 0.0f;
        int k = i;
        for (int j = 0; j < n; ++j) {
            acc += taps[j] * delayLine[k];
            k = k > 0 ? k - 1 : n - 1;
        }
        samples[s] = static_cast<float>(acc / 32767.0);
    }
    // A NaN or infinity in the line would spoil the next numTaps outputs of finite input.
    bool finite = true;
    for (int j = 0; j < n; ++j)
        finite = finite && std::isfinite(delayLine[j]);
    if (!finite) {
        clearBuffers();
        for (long s = 0; s < count; ++s)
            if (!std::isfinite(samples[s])) samples[s] = 0.0f;
    }
}
