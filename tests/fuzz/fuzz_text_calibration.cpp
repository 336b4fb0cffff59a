// libFuzzer target: any bytes as a text calibration file in an otherwise ordinary calibrations
// directory, whose companion directory holds valid coefficient files for 48 kHz. The processor
// must import it in bounds and leak nothing, and every program must then give parameter values
// in 0..1 and finite audio.

#include "core/XeTetra.h"
#include "tests/support/SampleCalibrations.h"
#include "tests/support/TempDirectory.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempDirectory root;
    static const bool companions = [] {
        bool written = !root.makeDirectory("Fuzz").empty();
        for (const char* name : {"Fuzz/W48", "Fuzz/VEL48"}) // a first-order low-pass
            written =
                samplecal::writeTolvinFile(root.file(name), {0.25f, 0.25f}, {-0.5f}) && written;
        return written;
    }();
    if (!companions) return 0;
    root.write("Fuzz.txt", std::string(reinterpret_cast<const char*>(data), size));

    AXeTetra processor(nullptr, CCalibrationPaths::only(root.path()));
    processor.setSampleRate(48000.0f);
    float samples[4][64];
    float* channels[4] = {samples[0], samples[1], samples[2], samples[3]};
    // Programs 0 and 1 are the factory ones; their correction designs only cost time here.
    for (int program = 2; program < kNumPrograms; ++program) {
        processor.setProgram(program);
        // Whatever the file says, a calibration's values stay within what the host may see.
        for (int index = 0; index < kNumParams; ++index) {
            const float value = processor.getParameter(index);
            if (!(value >= 0.0f && value <= 1.0f)) __builtin_trap();
        }
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 64; ++i)
                samples[k][i] = i == 3 ? 1.0f : 0.0f;
        processor.processReplacing(channels, channels, 64);
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 64; ++i)
                if (!std::isfinite(samples[k][i])) __builtin_trap();
        char text[64];
        processor.getProgramName(text);
        processor.getParameterDisplay(kPostMatrixFilter, text);
    }
    return 0;
}
