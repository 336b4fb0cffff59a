#pragma once

#include "core/OutputFormat.h"

#include <string>
#include <vector>

class AXeTetra;

// Magnitude and group delay of the four output chains of a processor, on a logarithmic frequency
// grid. Each output's chain is measured through the processor itself: the four capsules get one
// impulse each, of 1/4 and with the signs of the matrix row that feeds the output (W + + + +,
// X + + - -, Y + - + -, Z + - - +), so that with equal capsule gains the other rows stay silent;
// 0 dB means the output equals the signed mean of the capsule signals. The outputs are the
// processor's, in its output order (ambiX's W shows its 3 dB), and an orientation changes which
// row feeds which output. The group delay is Re{DFT(n h[n]) / DFT(h[n])}, which needs no phase
// unwrapping.
class CResponseCurves {
public:
    // Runs the measurement on the processor, set up at the rate. Setting the rate again before
    // each output clears the memory of its filters, so every output starts from silence.
    void measure(AXeTetra& processor, double rate);

    // The curves as CSV: frequency, then magnitude (dB) and group delay (ms) of each output
    // (columns W_db, W_group_delay_ms, ..., or ACN0_db, ... in ambiX order).
    std::string csv() const;

    // Each output as the legend names it: "W", or "ACN 1 (Y)" in ambiX order.
    std::string outputLabel(int output) const;

    double rate = 0.0;
    long impulseLength = 0;
    std::vector<double> frequencies;    // Hz
    COutputFormat format;               // of the outputs measured
    std::vector<double> magnitudeDb[4]; // by output
    // Milliseconds; NaN where the magnitude lies 80 dB or more below the curve's maximum and
    // the phase means nothing.
    std::vector<double> groupDelayMs[4];
};
