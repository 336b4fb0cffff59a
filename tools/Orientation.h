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

    // In place on the axes of one frame; W, the omnidirectional part, is the same in every
    // orientation.
    void apply(float& x, float& y, float& z) const {
        const float x0 = x, z0 = z;
        switch (mount) {
        case kInverted: // half turn about X
            y = -y;
            z = -z;
            break;
        case kEndfire: // the array's axis points forward
            x = z0;
            z = -x0;
            break;
        default:
            break;
        }
        if (invert[0]) x = -x;
        if (invert[1]) y = -y;
        if (invert[2]) z = -z;
    }

private:
    Mount mount = kUpright;
    bool invert[3] = {false, false, false};
};
