// libFuzzer target: any bytes as a Tolvin IIR coefficients file for 48 kHz. Loading must stay in
// bounds and leak nothing; the arrays it leaves are read whole at the counts it reports.

#include "core/MsgBox.h"
#include "dsp/FilterCoefficients.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
// Swallows the notices a broken file raises; they still go to standard error.
class QuietSink : public CMessageSink {
public:
    void postMessage(const char*) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* tmp = std::getenv("TMPDIR");
    // The rate comes from the name: "W48" means 48 kHz.
    const std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                             "/xetetra_fuzz_tolvin_" + std::to_string(getpid()) + "_W48.iir";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) {
        unlink(path.c_str());
        return 0;
    }

    QuietSink sink;
    CMessageSinkScope scope(&sink);
    CFilterCoefficients coefficients;
    coefficients.setTolvinIIRFileName(path.c_str());
    unlink(path.c_str());

    const int countA = coefficients.getFilterSizeA(48000.0f);
    const int countB = coefficients.getFilterSizeB(48000.0f);
    if (countA < 0 || countB < 0 || countA > CFilterCoefficients::kMaxTolvinCount ||
        countB > CFilterCoefficients::kMaxTolvinCount)
        __builtin_trap();
    const float* a = coefficients.getCoefficientsA(48000.0f);
    const float* b = coefficients.getCoefficientsB(48000.0f);
    volatile float total = 0.0f;
    for (int i = 0; a != nullptr && i < countA; ++i) {
        if (!std::isfinite(a[i])) __builtin_trap();
        total = total + a[i];
    }
    for (int i = 0; b != nullptr && i < countB; ++i) {
        if (!std::isfinite(b[i])) __builtin_trap();
        total = total + b[i];
    }
    return 0;
}
