// libFuzzer target: any bytes as a Tolvin IIR coefficients file for 48 kHz. Loading must stay in
// bounds and leak nothing; the arrays it leaves are read whole at the counts it reports.

#include "dsp/FilterCoefficients.h"
#include "tests/calibration/TetraFileWriter.h"

#include <cmath>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* tmp = std::getenv("TMPDIR");
    // The rate comes from the name: "W48" means 48 kHz.
    const std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                             "/xetetra_fuzz_tolvin_" + std::to_string(getpid()) + "_W48.iir";
    if (!tetrafile::writeBytes(path, tetrafile::Bytes(data, data + size))) return 0;
    CFilterCoefficients coefficients;
    coefficients.setTolvinIIRFileName(path.c_str());
    unlink(path.c_str());

    const int counts[2] = {coefficients.getFilterSizeA(48000.0f),
                           coefficients.getFilterSizeB(48000.0f)};
    const float* arrays[2] = {coefficients.getCoefficientsA(48000.0f),
                              coefficients.getCoefficientsB(48000.0f)};
    for (int k = 0; k < 2; ++k) {
        if (counts[k] < 0 || counts[k] > CFilterCoefficients::kMaxTolvinCount) __builtin_trap();
        for (int i = 0; arrays[k] != nullptr && i < counts[k]; ++i)
            if (!std::isfinite(arrays[k][i])) __builtin_trap();
    }
    return 0;
}
