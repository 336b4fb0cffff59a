#pragma once

#include <string>
#include <vector>

class AXeTetra;

// Magnitude and group delay of the four output chains of a processor, on a logarithmic frequency
// grid. Each output's chain is measured through the processor itself: the four capsules get one
// impulse each, of 1/4 and with the signs of that output's matrix row (W + + + +, X + + - -,
// Y + - + -, Z + - - +), so that with equal capsule gains the other outputs stay silent; 0 dB
// means the output equals the signed mean of the capsule signals. The group delay is
// Re{DFT(n h[n]) / DFT(h[n])}, which needs no phase unwrapping.
class CResponseCurves {
public:
    // Runs the measurement on the processor, set up at the rate. Setting the rate again before
    // each output clears the memory of its filters, so every output starts from silence.
    void measure(AXeTetra& processor, double rate);

    // The curves as CSV: frequency, then magnitude (dB) and group delay (ms) of W, X, Y, Z.
    std::string csv() const;

    double rate = 0.0;
    long impulseLength = 0;
    std::vector<double> frequencies;    // Hz
    std::vector<double> magnitudeDb[4]; // W, X, Y, Z
    // Milliseconds; NaN where the magnitude lies 80 dB or more below the curve's maximum and
    // the phase means nothing.
    std::vector<double> groupDelayMs[4];
};
