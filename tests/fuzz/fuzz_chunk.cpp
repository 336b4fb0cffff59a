// libFuzzer target: any bytes as a chunk a host hands back. The reader stays in bounds; what it
// takes is written back to exactly the same bytes, and a processor restoring it keeps every
// parameter value finite. What it refuses leaves the processor's state as it was.

#include "core/ProgramChunk.h"
#include "core/XeTetra.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {
// Swallows the notices; they still go to standard error.
class QuietSink : public CMessageSink {
public:
    void postMessage(const char*) override {}
};

std::vector<uint8_t> bankOf(AXeTetra& processor) {
    void* data = nullptr;
    const VstInt32 size = processor.getChunk(&data, false);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietSink sink;
    CMessageSinkScope scope(&sink);

    CProgramChunk chunk;
    std::string error;
    const bool taken = chunk.read(data, size, error);
    if (!taken && error.empty()) __builtin_trap();
    if (taken) {
        if (chunk.entries.size() != (chunk.kind == CProgramChunk::kBank ? kNumPrograms : 1u))
            __builtin_trap();
        std::vector<uint8_t> written;
        chunk.write(written);
        // A chunk of fewer values than this version writes grows by the missing defaults.
        const bool complete =
            size >= 24 && data[20] == kNumParams && data[21] == 0 && data[22] == 0 && data[23] == 0;
        if (complete && written != std::vector<uint8_t>(data, data + size)) __builtin_trap();
    }

    // Kept for the whole run: constructing one costs more than the reading itself.
    static AXeTetra* processor = new AXeTetra(nullptr, CCalibrationPaths::only("/nonexistent"));
    const std::vector<uint8_t> before = bankOf(*processor);
    const bool isPreset = size > 8 && data[8] == 1;
    std::vector<uint8_t> copy(data, data + size);
    const VstInt32 answer =
        processor->setChunk(copy.data(), static_cast<VstInt32>(copy.size()), isPreset);
    if ((answer == 1) != taken) __builtin_trap();
    if (answer == 0 && bankOf(*processor) != before) __builtin_trap();
    for (int index = 0; index < kNumParams; ++index)
        if (!std::isfinite(processor->getParameter(index))) __builtin_trap();
    return 0;
}
