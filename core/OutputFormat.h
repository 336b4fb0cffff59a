#pragma once

#include "core/EngineSettings.h"

#include <string>

// What the output parameters ask for: the channel order and weights of the four outputs, how the
// microphone stood when it recorded, and which axes the recordist wants flipped. This is the one
// place that turns them into the output map after the post-matrix set, for the plug-in and
// xetetra alike.
struct COutputFormat {
    enum Orientation { kUpright = 0, kInverted = 1, kEndfire = 2 };

    bool ambix = false; // ACN order W, Y, Z, X with SN3D weights; else FuMa W, X, Y, Z
    int orientation = kUpright;
    bool invert[3] = {false, false, false}; // X, Y, Z

    // From the host values of Output Order, Orientation and Invert X, Y, Z.
    static COutputFormat fromValues(float order, float orientation, float invertX, float invertY,
                                    float invertZ);

    // The turn first, then the flips, then the order and weights: each output is one channel of
    // the chain (W, X, Y, Z) times a sign, and times sqrt(2) for ambiX's W.
    COutputMap map() const;

    bool isDefault() const { return !ambix && orientation == kUpright && !anyInverted(); }
    bool anyInverted() const { return invert[0] || invert[1] || invert[2]; }

    // Output k as hosts show it: "W", "X", "Y", "Z", or "ACN 0" to "ACN 3".
    const char* outputName(int k) const;
    // The component output k carries: W, X, Y, Z, or in ambiX order W, Y, Z, X.
    const char* componentName(int k) const;
    // "endfire, axes flipped: x z"; empty when upright with nothing flipped.
    std::string describeOrientation() const;

    static const char* orderName(bool ambix) { return ambix ? "ambiX" : "FuMa"; }
    // "Upright", "Inverted" or "Endfire".
    static const char* orientationName(int orientation);
};
