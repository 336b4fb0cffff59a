#pragma once

#include <string>

// How the microphone stood when it recorded, and which axes the recordist wants flipped. Applied
// to W, X, Y, Z after the processor, so every output order gets the same image.
class COrientation {
public:
    enum Mount { kUpright, kInverted, kEndfire };

    // Parse the option values; false for anything else (the caller reports it).
    bool setMount(const std::string& name);
    // Any of x, y, z, each at most once (case-insensitive).
    bool setInversions(const std::string& axes);

    bool isIdentity() const;
    // "endfire, inverted x z"-style text for the summary; empty when upright and nothing flipped.
    std::string describe() const;

    // The turn and the flips as a signed permutation of W, X, Y, Z: channel j of the result is
    // sign[j] times channel source[j] of the processor's output. W, the omnidirectional part,
    // stays as it is in every orientation.
    void mapping(int source[4], float sign[4]) const;

private:
    Mount mount = kUpright;
    bool invert[3] = {false, false, false};
};
