#include "dsp/FFTFilter.h"

#include "dsp/FilterCoefficients.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <typeinfo>

namespace {

bool isUsableRate(float rate) {
    return std::isfinite(rate) && rate > 0.0f;
}

} // namespace

CFFTFilter::CFFTFilter() : CFFTFilter(false) {}

CFFTFilter::CFFTFilter(bool minPhase)
    : coefficients(nullptr), numTaps(0), minPhase(minPhase), requestedRate(48000.0f), workBuffer(),
      inputCopy(), outputBuffer(), position(0), response(), impulseResponse(), blockSpectrum() {
    CFFTFilter::init();
}

CFFTFilter::~CFFTFilter() = default;

void CFFTFilter::init() {
    clearBuffers();
    position = 0;
    fft.reset();
}

void CFFTFilter::setCoefficients(CFilterCoefficients* set) {
    coefficients = set;
}

void CFFTFilter::setSamplingRate(float rate) {
    // A rate that cannot be designed for keeps the previous request and with it the design.
    if (isUsableRate(rate)) requestedRate = rate;
}

void CFFTFilter::clearBuffers() {
    std::memset(workBuffer, 0, sizeof workBuffer);
    std::memset(inputCopy, 0, sizeof inputCopy);
    std::memset(outputBuffer, 0, sizeof outputBuffer);
    std::memset(impulseResponse, 0, sizeof impulseResponse);
    position = kHop;
}

void CFFTFilter::doFilter(float* samples, long count) {
    if (samplingRate != requestedRate || !fft) internalSetSamplingRate(requestedRate);
    if (!fft || samples == nullptr) return;
    long done = 0;
    while (done < count) {
        long run = kFFTSize - position;
        if (run > count - done) run = count - done;
        float* const block = samples + done;
        double* const work = workBuffer + position;
        double* const copy = inputCopy + position;
        const double* const out = outputBuffer + position;
        for (long i = 0; i < run; ++i) {
            const double x = block[i];
            work[i] = x;
            copy[i] = x;
            block[i] = static_cast<float>(out[i]);
        }
        position += static_cast<int>(run);
        done += run;
        if (position == kFFTSize) processFrame();
    }
}

void CFFTFilter::processFrame() {
    fft->do_fft(blockSpectrum, workBuffer);
    for (int k = 0; k < kHop; ++k) {
        const double xr = blockSpectrum[k];
        const double xi = blockSpectrum[kHop + k];
        const double hr = response[k];
        const double hi = response[kHop + k];
        blockSpectrum[k] = xr * hr - xi * hi;
        blockSpectrum[kHop + k] = xr * hi + xi * hr;
    }
    fft->do_ifft(blockSpectrum, workBuffer);
    fft->rescale(workBuffer);

    bool finite = true;
    for (int i = 0; i < kHop; ++i) {
        const double y = workBuffer[kHop + i];
        finite = finite && std::isfinite(y);
        // Keeps the conversion to float finite for extreme but finite input.
        outputBuffer[kHop + i] = y > FLT_MAX ? FLT_MAX : (y < -FLT_MAX ? -FLT_MAX : y);
        workBuffer[i] = inputCopy[kHop + i];
    }
    // Non-finite input spreads over the whole frame: start afresh instead of latching it.
    if (!finite) resetSignalState();
    position = kHop;
}

void CFFTFilter::resetSignalState() {
    std::memset(workBuffer, 0, sizeof workBuffer);
    std::memset(inputCopy, 0, sizeof inputCopy);
    std::memset(outputBuffer, 0, sizeof outputBuffer);
}

void CFFTFilter::renewTransform() {
    fft.reset();
    fft = std::make_unique<FFTReal>(kFFTSize);
}

void CFFTFilter::setPassThroughResponse() {
    for (int k = 0; k < kHop; ++k) {
        response[k] = 1.0;
        response[kHop + k] = 0.0;
    }
}

bool CFFTFilter::responseIsFinite() const {
    for (double value : response)
        if (!std::isfinite(value)) return false;
    return true;
}

long CFFTFilter::getHeapBytes() const {
    return fft ? static_cast<long>(sizeof(FFTReal)) + fft->get_table_bytes() : 0;
}

bool CFFTFilter::designsLike(const CFFTFilter& other) const {
    return typeid(*this) == typeid(other) && coefficients == other.coefficients &&
           minPhase == other.minPhase;
}

void CFFTFilter::internalSetSamplingRate(float rate) {
    if (!isUsableRate(rate)) {
        // Nothing to design for: keep the design there is, or pass the signal through.
        if (!fft) {
            renewTransform();
            setPassThroughResponse();
        }
        return;
    }
    samplingRate = rate;
    const float* taps = nullptr;
    if (coefficients) {
        taps = coefficients->getCoefficientsB(rate);
        numTaps = coefficients->getFilterSizeB(rate);
    }
    renewTransform();
    if (numTaps > kMaxTaps) numTaps = kMaxTaps;
    if (numTaps < 0 || taps == nullptr) numTaps = 0;

    double peak = 0.0;
    for (int i = 0; i < numTaps; ++i) {
        impulseResponse[i] = taps[i];
        if (taps[i] > peak) peak = taps[i];
    }
    // No positive tap to normalise to: pass through with the usual latency.
    if (!(peak > 0.0)) {
        setPassThroughResponse();
        return;
    }
    for (int i = 0; i < numTaps; ++i)
        impulseResponse[i] /= peak;
    for (int i = numTaps; i < kFFTSize; ++i)
        impulseResponse[i] = 0.0;
    fft->do_fft(response, impulseResponse);
    if (minPhase) applyPhaseStep(0, kHop, 1.0);
    if (!responseIsFinite()) setPassThroughResponse();
}

void CFFTFilter::applyPhaseStep(int doubleFrom, int clearFrom, double divisor) {
    for (int k = 0; k < kHop; ++k) {
        const double re = response[k];
        const double im = response[kHop + k];
        response[k] = std::sqrt(re * re + im * im);
        response[kHop + k] = 0.0;
    }
    double* const scratch = blockSpectrum;
    fft->do_ifft(response, scratch);
    fft->rescale(scratch);
    for (int i = doubleFrom; i < kHop; ++i)
        scratch[i] *= 2.0;
    for (int i = clearFrom; i < kFFTSize; ++i)
        scratch[i] = 0.0;
    fft->do_fft(response, scratch);
    for (int k = 0; k < kHop; ++k) {
        const double m = std::exp(response[k]) / divisor;
        const double phi = response[kHop + k];
        response[k] = m * std::cos(phi);
        response[kHop + k] = m * std::sin(phi);
    }
}
