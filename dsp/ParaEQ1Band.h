#pragma once

#include "dsp/IIRFilter.h"

// One second-order peaking section in direct form: the bilinear transform of
// (s^2 + s V/Q + 1) / (s^2 + s/Q + 1), centre prewarped.
class CParaEQ1Band : public CIIRFilter {
public:
    CParaEQ1Band();

    void init() override;
    void setSamplingRate(float rate) override;
    void setParameters(float freq, float octaves, float gainDb);
    void updateCoefficients();

    float getFrequency() const { return centreFrequency; }
    float getOctaves() const { return octaves; }
    float getGain() const { return gain; }

    // The widths a redesign may use, in octaves.
    static constexpr float kMinOctaves = 0.01f;
    static constexpr float kMaxOctaves = 10.0f;

protected:
    float centreFrequency; // Hz
    float octaves;         // bandwidth
    float gain;            // dB

private:
    bool design(float freq, float width);
};
