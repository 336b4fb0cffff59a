// Loads the built plug-in through its entry point, exactly as a host does, and runs a generated
// A-format recording of a source at a known direction through program 0. Prints the levels of
// W, X, Y and Z and the direction the B-format points to.

#include "vst/AEffect.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace {
VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

double rmsDb(const std::vector<float>& samples, size_t from) {
    double sum = 0.0;
    for (size_t i = from; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    const double rms = std::sqrt(sum / double(samples.size() - from));
    return rms > 0.0 ? 20.0 * std::log10(rms) : -INFINITY;
}
} // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "build/XeTetraVST.so";
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "xetetra-plugin-demo: cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    using Entry = AEffect* (*)(audioMasterCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
    AEffect* effect = entry != nullptr ? entry(hostCallback) : nullptr;
    if (effect == nullptr || effect->magic != kEffectMagic) {
        std::fprintf(stderr, "xetetra-plugin-demo: %s gave no plug-in\n", path);
        return 1;
    }
    char name[64] = {}, vendor[64] = {}, program[64] = {};
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effGetEffectName, 0, 0, name, 0.0f);
    effect->dispatcher(effect, effGetVendorString, 0, 0, vendor, 0.0f);
    const float rate = 48000.0f;
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate);
    effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    effect->dispatcher(effect, effSetProgram, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effGetProgramName, 0, 0, program, 0.0f);
    std::printf("Loaded %s by %s: %d inputs, %d outputs, %d programs, %d parameters, "
                "latency %d samples\n",
                name, vendor, effect->numInputs, effect->numOutputs, effect->numPrograms,
                effect->numParams, effect->initialDelay);
    std::printf("Program 0: %s\n", program);

    // A 1 kHz tone arriving from 45 degrees to the left, level with the microphone, picked up by
    // four cardioid capsules at the corners of a tetrahedron (front-left-up, front-right-down,
    // back-left-down, back-right-up).
    const double azimuth = M_PI / 4.0, elevation = 0.0;
    const double source[3] = {std::cos(azimuth) * std::cos(elevation),
                              std::sin(azimuth) * std::cos(elevation), std::sin(elevation)};
    const double capsules[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    const size_t frames = 48000;
    std::vector<std::vector<float>> in(4, std::vector<float>(frames)), out = in;
    for (int c = 0; c < 4; ++c) {
        const double* d = capsules[c];
        const double cosine =
            (d[0] * source[0] + d[1] * source[1] + d[2] * source[2]) / std::sqrt(3.0);
        const double gain = 0.5 * (1.0 + cosine);
        for (size_t i = 0; i < frames; ++i)
            in[c][i] = float(0.25 * gain * std::sin(2.0 * M_PI * 1000.0 * double(i) / rate));
    }
    for (size_t start = 0; start < frames; start += 512) {
        float* inputs[4];
        float* outputs[4];
        for (int k = 0; k < 4; ++k) {
            inputs[k] = in[k].data() + start;
            outputs[k] = out[k].data() + start;
        }
        effect->processReplacing(effect, inputs, outputs,
                                 VstInt32(std::min<size_t>(512, frames - start)));
    }
    const size_t settled = 4096;
    const char* labels[] = {"W", "X", "Y", "Z"};
    for (int k = 0; k < 4; ++k)
        std::printf("%s: %7.2f dB RMS\n", labels[k], rmsDb(out[k], settled));
    // The direction of the sound intensity: the mean of W times each velocity signal.
    double intensity[3] = {0, 0, 0};
    for (size_t i = settled; i < frames; ++i)
        for (int a = 0; a < 3; ++a)
            intensity[a] += double(out[0][i]) * out[a + 1][i];
    std::printf("Direction: azimuth %.1f degrees, elevation %.1f degrees (source at 45.0, 0.0)\n",
                std::atan2(intensity[1], intensity[0]) * 180.0 / M_PI,
                std::atan2(intensity[2], std::hypot(intensity[0], intensity[1])) * 180.0 / M_PI);
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    dlclose(library);
    return 0;
}
