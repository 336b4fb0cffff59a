#include "params/ParameterConversions.h"

#include <climits>
#include <cmath>

const char* const kFixedParameterNames[kNumFixedParameters] = {
    "LF Enabled",
    "LF Cut Freq",
    "LF Boost Freq",
    "Locked",
    "Calibration",
    "PreMatrix Filter Number",
    "PostMatrix Filter Number",
    "EQs Enabled",
    "EQs Linked",
    "Gains Linked",
    "AB Matrix Enabled",
    "Current Capsule",
    "View Mode",
    "Display VU",
};

int parameterSlot(int index) {
    static const int fixedSlots[kCapsuleBase] = {4, 2, 3, 7, 8, 0, 1, 37, 38, 39, 44, 45, 5, 6};
    if (index < 0 || index >= kNumParams) return -1;
    if (index < kCapsuleBase) return fixedSlots[index];
    if (index >= kOutputOrder) return kSlotOutputOrder + (index - kOutputOrder);
    if (index >= kOutputGainBase) return kSlotOutputGainBase + (index - kOutputGainBase);
    const int capsule = (index - kCapsuleBase) / kParamsPerCapsule;
    const int offset = (index - kCapsuleBase) % kParamsPerCapsule;
    switch (offset) {
    case kCapEQFreq:
        return kSlotEQFreqBase + capsule;
    case kCapEQWidth:
        return kSlotEQWidthBase + capsule;
    case kCapEQGain:
        return kSlotEQGainBase + capsule;
    default:
        return kSlotCapGainBase + 4 * capsule + (offset - kCapOutGain);
    }
}

float oneLOWFREQConvert(float p) {
    return static_cast<float>(
        20.0 * std::exp(static_cast<double>(p) * 2.302585092994 / (1.0 / std::log10(12.5))));
}

float lowfreq2parm(float hz) {
    return static_cast<float>(std::log(static_cast<double>(hz) / 20.0) * (1.0 / std::log10(12.5)) /
                              2.302585092994);
}

float oneMAXFREQConvert(float p) {
    return static_cast<float>(
        20.0 * std::exp(static_cast<double>(p) * 2.302585092994 / (1.0 / std::log10(1000.0))));
}

float freq2parm(float hz) {
    return static_cast<float>(std::log(static_cast<double>(hz) / 20.0) *
                              (1.0 / std::log10(1000.0)) / 2.302585092994);
}

float parm2width(float p) {
    return p * 5.0f;
}
float width2parm(float octaves) {
    return octaves / 5.0f;
}
float parm2PlusMinus15(float p) {
    return p * 30.0f + (-15.0f);
}
float plusMinus152parm(float dB) {
    return (dB + 15.0f) / 30.0f;
}
float parm2PlusMinus12(float p) {
    return p * 24.0f + (-12.0f);
}
float plusMinus122parm(float dB) {
    return (dB + 12.0f) / 24.0f;
}
bool parm2bool(float p) {
    return static_cast<double>(p) > 0.5;
}

namespace {
// Truncation toward zero that saturates instead of overflowing (NaN gives 0).
int truncateSaturated(float x) {
    if (!(x == x)) return 0;
    if (x >= 2147483520.0f) return INT_MAX;
    if (x <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(x);
}
} // namespace

int oneMAXFILTERConvert(float p) {
    const float x = 7.0f * p;
    if (!(x > -1.0f && x < 8.0f)) return -1;
    return static_cast<int>(x);
}

float filter2parm(int n) {
    return static_cast<float>(n) / 7.0f;
}

int oneMAXVIEWConvert(float p) {
    const int v = truncateSaturated(2.0f * p);
    return v == INT_MAX ? v : v + 1;
}

float view2parm(int v) {
    return (static_cast<float>(v) + (-1.0f)) / 2.0f;
}

int oneMAXCAPConvert(float p) {
    const int v = truncateSaturated(3.0f * p);
    return v == INT_MAX ? v : v + 1;
}

int oneMAXORIENTATIONConvert(float p) {
    // A choice of three: a value beyond the ends picks the nearer end.
    const int v = truncateSaturated(2.0f * p);
    return v < 0 ? 0 : v > 2 ? 2 : v;
}

float orientation2parm(int orientation) {
    return static_cast<float>(orientation) / 2.0f;
}

double hz2oct(double fc, double bw) {
    double x = bw / fc;
    // A zero centre frequency has no width in octaves; an infinite start would never converge.
    if (!std::isfinite(x)) return 0.0;
    double step = x / 2.0;
    while (step > 0.0001) {
        const double p = std::pow(2.0, x / 2.0);
        const double span = fc * p - fc / p;
        if (span > bw)
            x = x - step;
        else if (bw > span)
            x = x + step;
        step = step / 2.0;
    }
    return x;
}
