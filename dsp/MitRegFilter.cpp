#include "dsp/MitRegFilter.h"

#include "dsp/ABMatrix.h"

#include <cmath>

namespace {
// 2 pi and pi as single-precision values widened to double.
constexpr double kTwoPi = 6.2831854820251465;
constexpr double kPi = 3.1415927410125732;
} // namespace

CMitRegFilter::CMitRegFilter()
    : centreFrequency(2000.0f), bandwidth(0.0f), gain(0.0f), relative(false), a1(0.0), a2(0.0),
      b0(0.0), b1(0.0), state{0.0, 0.0}, bypassed(false) {
    CMitRegFilter::init();
}

void CMitRegFilter::init() {
    state[0] = 0.0;
    state[1] = 0.0;
    setParametersOctaves(2000.0f, 1.0f, 0.0f);
}

void CMitRegFilter::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    updateCoefficients();
}

void CMitRegFilter::setParametersOctaves(float freq, float octaves, float gainDb) {
    centreFrequency = freq;
    const double upper = std::pow(2.0, static_cast<double>(octaves / 2.0f));
    const double lower = std::pow(2.0, static_cast<double>(-octaves / 2.0f));
    bandwidth = static_cast<float>(static_cast<double>(freq) * (upper - lower));
    gain = gainDb;
    relative = false;
    updateCoefficients();
}

void CMitRegFilter::setParametersRelative(float freq, float relWidth, float gainDb) {
    centreFrequency = freq;
    bandwidth = freq * relWidth;
    gain = gainDb;
    relative = true;
    updateCoefficients();
}

// The formula leaves its stable range at 0 Hz and at half the rate (|k1| = 1, or within 1e-9 of
// it), for a width too narrow for the coefficients to tell from zero (k2 rounds to 1), in octave
// mode for a centre at or past half the rate (the width limit turns negative), and in relative
// mode for huge widths (k2 = -1). A band of zero width has no effect in the limit, so one that
// narrow passes the signal; any other is designed again with the centre in [fs 1e-5, 0.49 fs]
// and the width at most 100 fs. An unusable sampling rate leaves the band bypassed too.
void CMitRegFilter::updateCoefficients() {
    bypassed = false;
    if (design(centreFrequency, bandwidth)) return;
    float lowest, highest;
    // (A centre at 0 Hz makes any width in octaves zero in Hz: it is no narrow band but a
    // misplaced one, designed at the lowest usable centre.)
    const bool misplaced = !(centreFrequency > 0.0f);
    if (designRange(samplingRate, lowest, highest) && (misplaced || !tooNarrow(bandwidth)) &&
        design(clampInto(centreFrequency, lowest, highest),
               clampInto(bandwidth, misplaced ? lowest : 0.0f, samplingRate * 100.0f)))
        return;
    // Any stable allpass will do: doFilter then mixes it out with V = 1.
    a1 = 0.0;
    a2 = 0.0;
    b0 = 0.0;
    b1 = 0.0;
    bypassed = true;
}

bool CMitRegFilter::tooNarrow(float width) const {
    if (!(width > 0.0f)) return true;
    double omega = kTwoPi * static_cast<double>(width) / static_cast<double>(samplingRate);
    if (!relative && gain < 0.0f) omega /= static_cast<double>(limitedDb2level(gain));
    const double t = relative ? omega / 2.0 : std::tan(omega / 2.0);
    return static_cast<float>((1.0 - t) / (1.0 + t)) >= 1.0f;
}

bool CMitRegFilter::design(float freq, float width) {
    const double rate = static_cast<double>(samplingRate);
    const double w0 = kTwoPi * static_cast<double>(freq) / rate;
    double omega = kTwoPi * static_cast<double>(width) / rate;
    double k2;
    if (relative) {
        k2 = static_cast<float>((1.0 - omega / 2.0) / (1.0 + omega / 2.0));
    } else {
        if (gain < 0.0f) omega /= static_cast<double>(limitedDb2level(gain));
        const double limit = 0.75 * (kPi - w0);
        if (omega > limit) omega = limit;
        const double t = std::tan(omega / 2.0);
        k2 = static_cast<float>((1.0 - t) / (1.0 + t));
    }
    const double k1 = -std::cos(w0);
    const double feedback = k1 * (1.0 + k2);
    if (!std::isfinite(k1) || !isStableSecondOrder(feedback, k2)) return false;
    b0 = k2;
    b1 = feedback;
    a1 = feedback;
    a2 = k2;
    return true;
}

CMitRegFilter::Lane CMitRegFilter::lane() const {
    // The band gain is limited at +120 dB: a larger V only turns loud input into infinity.
    const double v = bypassed ? 1.0 : static_cast<double>(limitedDb2level(gain));
    return Lane{b0, b1, a1, a2, v / 2.0, state[0], state[1]};
}

namespace {
inline float step(CMitRegFilter::Lane& l, float input) {
    const double x = input;
    const double ap = l.b0 * x + l.s1;
    l.s1 = l.b1 * x - l.a1 * ap + l.s2;
    l.s2 = x - l.a2 * ap;
    return static_cast<float>(0.5 * (x + ap) + l.halfV * (x - ap));
}
} // namespace

void CMitRegFilter::finishBlock(const Lane& l, float* buf, long n) {
    double s1 = l.s1, s2 = l.s2;
    if (!std::isfinite(s1) || !std::isfinite(s2)) {
        s1 = 0.0;
        s2 = 0.0;
        zeroNonFinite(buf, n);
    } else if (std::fabs(s1) < kTinyState && std::fabs(s2) < kTinyState) {
        s1 = 0.0;
        s2 = 0.0;
    }
    state[0] = s1;
    state[1] = s2;
}

void CMitRegFilter::doFilter(float* buf, long n) {
    if (n <= 0) return;
    Lane l = lane();
    for (long i = 0; i < n; ++i)
        buf[i] = step(l, buf[i]);
    finishBlock(l, buf, n);
}

template <int Count> void CMitRegFilter::cascade(CMitRegFilter* const* bands, float* buf, long n) {
    Lane l[Count];
    for (int k = 0; k < Count; ++k)
        l[k] = bands[k]->lane();
    for (long i = 0; i < n; ++i) {
        float y = buf[i];
        for (int k = 0; k < Count; ++k)
            y = step(l[k], y);
        buf[i] = y;
    }
    for (int k = 0; k < Count; ++k)
        bands[k]->finishBlock(l[k], buf, n);
}

void CMitRegFilter::doFilterCascade(CMitRegFilter* const* bands, int count, float* buf, long n) {
    if (n <= 0) return;
    switch (count) {
    case 1:
        return cascade<1>(bands, buf, n);
    case 2:
        return cascade<2>(bands, buf, n);
    case 3:
        return cascade<3>(bands, buf, n);
    case 4:
        return cascade<4>(bands, buf, n);
    default:
        for (int k = 0; k < count; ++k)
            bands[k]->doFilter(buf, n);
    }
}
