#pragma once

#include "core/XeTetra.h"

#include <memory>
#include <random>
#include <vector>

// Four channels of noise in and four out, `frames` long, for the processor benchmarks.
struct CBenchBuffers {
    explicit CBenchBuffers(int frames, unsigned seed = 1)
        : in(4, std::vector<float>(static_cast<size_t>(frames))), out(in) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (auto& channel : in)
            for (float& s : channel)
                s = uniform(random);
        for (int k = 0; k < 4; ++k) {
            inputs[k] = in[static_cast<size_t>(k)].data();
            outputs[k] = out[static_cast<size_t>(k)].data();
        }
    }
    std::vector<std::vector<float>> in, out;
    float* inputs[4];
    float* outputs[4];
};

// A processor without calibrations at 48 kHz.
inline std::unique_ptr<AXeTetra> makeBenchProcessor() {
    auto processor =
        std::make_unique<AXeTetra>(nullptr, CCalibrationPaths::only("/nonexistent/xetetra-bench"));
    processor->setSampleRate(48000.0f);
    return processor;
}
