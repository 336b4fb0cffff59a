// The processor's state as a chunk the host keeps: the bank or the current program, written and
// read by CProgramChunk, restored through setProgram and setParameter.

#include "core/ProgramChunk.h"
#include "core/XeTetra.h"

#include <string>

namespace {

// Points the entry's post-matrix selection at the set that bears its stored name in this
// instance, which may have listed its calibrations in another order; a calibration that is gone
// leaves the program with no set, and the user is told.
void resolvePostMatrixSet(const AXeTetra& processor, CProgramChunk::CEntry& entry) {
    if (entry.postMatrixSet.empty()) return;
    float& value = entry.program.values[kSlotPostMatrixFilter];
    const char* stored = processor.GetPostMatrixSetName(oneMAXFILTERConvert(value));
    if (stored != nullptr && entry.postMatrixSet == stored) return;
    for (int set = 0; set < kMaxFilterSets; ++set) {
        const char* name = processor.GetPostMatrixSetName(set);
        if (name != nullptr && entry.postMatrixSet == name) {
            value = filter2parm(set);
            return;
        }
    }
    value = filter2parm(0);
    MsgBoxf("Calibration \"%s\" of program \"%s\" not found: the program runs no post-matrix "
            "filter set",
            entry.postMatrixSet.c_str(), entry.program.name);
}

} // namespace

VstInt32 AXeTetra::getChunk(void** data, bool isPreset) {
    if (data == nullptr) return 0;
    CControlScope scope(*this);
    CProgramChunk chunk;
    chunk.kind = isPreset ? CProgramChunk::kProgram : CProgramChunk::kBank;
    chunk.currentProgram = curProgram;
    for (int p = isPreset ? curProgram : 0; p < (isPreset ? curProgram + 1 : kNumPrograms); ++p) {
        CProgramChunk::CEntry entry;
        entry.program = programs[p];
        if (p == curProgram) {
            // The instance's own settings travel with the current program.
            entry.program.values[kSlotDisplayVU] = curValues[kSlotDisplayVU];
            entry.program.values[kSlotCalibration] = curValues[kSlotCalibration];
        }
        const char* set =
            GetPostMatrixSetName(oneMAXFILTERConvert(entry.program.values[kSlotPostMatrixFilter]));
        if (set != nullptr) entry.postMatrixSet = set;
        chunk.entries.push_back(entry);
    }
    chunk.write(chunkBytes);
    *data = chunkBytes.data();
    return static_cast<VstInt32>(chunkBytes.size());
}

VstInt32 AXeTetra::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    // One scope for the whole restore: the audio side gets it in one piece.
    CControlScope scope(*this);
    CProgramChunk chunk;
    std::string error;
    if (byteSize < 0) byteSize = 0;
    if (!chunk.read(data, static_cast<size_t>(byteSize), error)) {
        MsgBoxf("Stored state not loaded: %s. The settings stay as they were.", error.c_str());
        return 0;
    }
    if ((chunk.kind == CProgramChunk::kProgram) != isPreset) {
        MsgBoxf("Stored state not loaded: the host gave %s where it asked for %s. The settings "
                "stay as they were.",
                isPreset ? "a bank" : "one program", isPreset ? "one program" : "the bank");
        return 0;
    }

    // Accepted whole: from here on nothing is refused.
    for (CProgramChunk::CEntry& entry : chunk.entries)
        resolvePostMatrixSet(*this, entry);
    if (isPreset) {
        programs[curProgram] = chunk.entries[0].program;
        setProgram(curProgram);
        return 1;
    }
    for (int p = 0; p < kNumPrograms; ++p)
        programs[p] = chunk.entries[static_cast<size_t>(p)].program;
    // Selecting the program applies its values as a host's program change does; the instance's
    // settings, which no program change touches, follow from the current program's entry.
    const float* values = chunk.entries[static_cast<size_t>(chunk.currentProgram)].program.values;
    setProgram(chunk.currentProgram);
    setParameter(kDisplayVU, values[kSlotDisplayVU]);
    setParameter(kCalibration, values[kSlotCalibration]);
    return 1;
}
