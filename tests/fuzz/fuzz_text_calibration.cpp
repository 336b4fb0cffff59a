// libFuzzer target: any bytes as a text calibration file in an otherwise ordinary calibrations
// directory, whose companion directory holds valid coefficient files for 48 kHz. The processor
// must import it in bounds and leak nothing, and every program must then give parameter values
// in 0..1 and finite audio.

#include "core/XeTetra.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool writeFile(const std::string& path, const void* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// A first-order low-pass as a Tolvin file: header, nA = 1, nB = 2, b0 b1, a1.
const unsigned char kLowPass[] = {0, 0, 0,    0,    1, 0, 2,    0,
                                  0, 0, 0x80, 0x3e, 0, 0, 0x80, 0x3e, // 0.25, 0.25
                                  0, 0, 0,    0xbf};                  // -0.5

struct Directory {
    std::string root;
    Directory() {
        const char* tmp = std::getenv("TMPDIR");
        root = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/xetetra_fuzz_text_" +
               std::to_string(getpid());
        mkdir(root.c_str(), 0755);
        mkdir((root + "/Fuzz").c_str(), 0755);
        writeFile(root + "/Fuzz/W48", kLowPass, sizeof(kLowPass));
        writeFile(root + "/Fuzz/VEL48", kLowPass, sizeof(kLowPass));
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Directory directory;
    const std::string path = directory.root + "/Fuzz.txt";
    if (!writeFile(path, data, size)) return 0;

    AXeTetra processor(nullptr, CCalibrationPaths::only(directory.root));
    processor.setSampleRate(48000.0f);
    float samples[4][64];
    float* channels[4] = {samples[0], samples[1], samples[2], samples[3]};
    // Programs 0 and 1 are the factory ones; their correction designs only cost time here.
    for (int program = 2; program < 8; ++program) {
        processor.setProgram(program);
        // Whatever the file says, a calibration's values stay within what the host may see.
        for (int index = 0; index < kNumParams; ++index) {
            const float value = processor.getParameter(index);
            if (!(value >= 0.0f && value <= 1.0f)) __builtin_trap();
        }
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 64; ++i)
                samples[k][i] = (i == 3) ? 1.0f : 0.0f;
        processor.processReplacing(channels, channels, 64);
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 64; ++i)
                if (!std::isfinite(samples[k][i])) __builtin_trap();
        char text[64];
        processor.getProgramName(text);
        processor.getParameterDisplay(6, text);
    }
    unlink(path.c_str());
    return 0;
}
