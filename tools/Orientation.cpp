#include "tools/Orientation.h"

bool COrientation::setMount(const std::string& name) {
    if (name == "upright")
        mount = kUpright;
    else if (name == "inverted")
        mount = kInverted;
    else if (name == "endfire")
        mount = kEndfire;
    else
        return false;
    return true;
}

bool COrientation::setInversions(const std::string& axes) {
    bool named[3] = {false, false, false};
    if (axes.empty()) return false;
    for (char axis : axes) {
        const int k = axis == 'x' || axis == 'X'   ? 0
                      : axis == 'y' || axis == 'Y' ? 1
                      : axis == 'z' || axis == 'Z' ? 2
                                                   : -1;
        if (k < 0 || named[k]) return false;
        named[k] = true;
    }
    for (int k = 0; k < 3; ++k)
        invert[k] = named[k];
    return true;
}

bool COrientation::isIdentity() const {
    return mount == kUpright && !invert[0] && !invert[1] && !invert[2];
}

std::string COrientation::describe() const {
    std::string text;
    if (mount == kInverted) text = "inverted";
    if (mount == kEndfire) text = "endfire";
    if (invert[0] || invert[1] || invert[2]) {
        if (!text.empty()) text += ", ";
        text += "axes flipped:";
        static const char* const names[3] = {" x", " y", " z"};
        for (int k = 0; k < 3; ++k)
            if (invert[k]) text += names[k];
    }
    return text;
}

void COrientation::mapping(int source[4], float sign[4]) const {
    for (int j = 0; j < 4; ++j) {
        source[j] = j;
        sign[j] = 1.0f;
    }
    if (mount == kInverted) {
        // A half turn about X.
        sign[2] = -1.0f;
        sign[3] = -1.0f;
    } else if (mount == kEndfire) {
        // The array's axis points forward: what it calls up is front, its front is down.
        source[1] = 3;
        source[3] = 1;
        sign[3] = -1.0f;
    }
    for (int k = 0; k < 3; ++k)
        if (invert[k]) sign[1 + k] = -sign[1 + k];
}
