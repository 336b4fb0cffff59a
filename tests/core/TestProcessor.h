#pragma once

#include "core/XeTetra.h"
#include "support/TempDirectory.h"

#include <cmath>

#include <string>
#include <vector>

// The processor with its state opened up for inspection; built without arguments, its
// calibration paths lead nowhere, so no calibration is read.
class TestXeTetra : public AXeTetra {
public:
    using AXeTetra::AXeTetra;
    TestXeTetra() : AXeTetra(nullptr, CCalibrationPaths::only("/nonexistent/calibrations")) {}
    using AXeTetra::capGains;
    using AXeTetra::curValues;
    using AXeTetra::eqFreq;
    using AXeTetra::eqsEnabled;
    using AXeTetra::eqWidth;
    using AXeTetra::lfCutFreq;
    using AXeTetra::outGains;
    using AXeTetra::outputFormat;
    using AXeTetra::programs;
};

// Switched off and on, as a host sets a plug-in up: what was set meanwhile applies at the next
// block at once, without the crossfade of a change during playback.
inline void restart(AXeTetra& processor) {
    processor.suspend();
    processor.resume();
}

inline std::string programName(AXeTetra& processor) {
    char text[64] = {};
    processor.getProgramName(text);
    return text;
}

inline std::string display(AXeTetra& processor, int index) {
    char text[64] = {};
    processor.getParameterDisplay(index, text);
    return text;
}

// Four channels of samples, processed in place or from separate inputs.
struct Block {
    explicit Block(long frames) : data(4, std::vector<float>(static_cast<size_t>(frames))) {}
    float** pointers() {
        for (int k = 0; k < 4; ++k)
            ptr[k] = data[static_cast<size_t>(k)].data();
        return ptr;
    }
    std::vector<std::vector<float>> data;
    float* ptr[4] = {};
};
