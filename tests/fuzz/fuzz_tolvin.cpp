// libFuzzer target: any bytes as a Tolvin IIR coefficients file for 48 kHz. Loading must stay in
// bounds and leak nothing; the arrays it leaves are read whole at the counts it reports.

#include "dsp/FilterCoefficients.h"
#include "tests/support/TempDirectory.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempDirectory directory;
    // The rate comes from the name: "W48" means 48 kHz.
    const std::string path =
        directory.write("W48.iir", std::string(reinterpret_cast<const char*>(data), size));
    CFilterCoefficients coefficients;
    coefficients.setTolvinIIRFileName(path.c_str());

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
