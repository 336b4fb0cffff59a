#include "core/OutputFormat.h"

#include "params/ParameterConversions.h"

#include <cmath>

COutputFormat COutputFormat::fromValues(float order, float orientation, float invertX,
                                        float invertY, float invertZ) {
    COutputFormat format;
    format.ambix = parm2bool(order);
    format.orientation = oneMAXORIENTATIONConvert(orientation);
    format.invert[0] = parm2bool(invertX);
    format.invert[1] = parm2bool(invertY);
    format.invert[2] = parm2bool(invertZ);
    return format;
}

COutputMap COutputFormat::map() const {
    // The image as the microphone saw it: component j (W, X, Y, Z) is sign[j] times chain
    // channel source[j]. W, the omnidirectional part, stays as it is in every orientation.
    int source[4] = {0, 1, 2, 3};
    float sign[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    if (orientation == kInverted) {
        // Hung upside down: a half turn about X.
        sign[2] = -1.0f;
        sign[3] = -1.0f;
    } else if (orientation == kEndfire) {
        // The array's axis points forward: what it calls up is front, its front is down.
        source[1] = 3;
        source[3] = 1;
        sign[3] = -1.0f;
    }
    for (int axis = 0; axis < 3; ++axis)
        if (invert[axis]) sign[1 + axis] = -sign[1 + axis];

    static const int kFuMa[4] = {0, 1, 2, 3};
    static const int kACN[4] = {0, 2, 3, 1};
    const int* component = ambix ? kACN : kFuMa;
    // SN3D's W is FuMa's W raised by 3 dB; X, Y and Z are the same in both.
    const float wWeight = ambix ? static_cast<float>(std::sqrt(2.0)) : 1.0f;
    COutputMap output;
    for (int k = 0; k < 4; ++k) {
        const int j = component[k];
        output.source[k] = source[j];
        output.gain[k] = sign[j] * (j == 0 ? wWeight : 1.0f);
    }
    return output;
}

const char* COutputFormat::outputName(int k) const {
    static const char* const kFuMaNames[4] = {"W", "X", "Y", "Z"};
    static const char* const kACNNames[4] = {"ACN 0", "ACN 1", "ACN 2", "ACN 3"};
    if (k < 0 || k > 3) return "";
    return ambix ? kACNNames[k] : kFuMaNames[k];
}

const char* COutputFormat::componentName(int k) const {
    static const char* const kFuMaNames[4] = {"W", "X", "Y", "Z"};
    static const char* const kACNNames[4] = {"W", "Y", "Z", "X"};
    if (k < 0 || k > 3) return "";
    return ambix ? kACNNames[k] : kFuMaNames[k];
}

std::string COutputFormat::describeOrientation() const {
    std::string text;
    if (orientation == kInverted) text = "inverted";
    if (orientation == kEndfire) text = "endfire";
    if (anyInverted()) {
        if (!text.empty()) text += ", ";
        text += "axes flipped:";
        static const char* const kAxes[3] = {" x", " y", " z"};
        for (int axis = 0; axis < 3; ++axis)
            if (invert[axis]) text += kAxes[axis];
    }
    return text;
}

const char* COutputFormat::orientationName(int orientation) {
    switch (orientation) {
    case kInverted:
        return "Inverted";
    case kEndfire:
        return "Endfire";
    default:
        return "Upright";
    }
}
