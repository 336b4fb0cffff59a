#include "core/XeTetraProgram.h"

#include "vst/AEffect.h"

AXeTetraProgram::AXeTetraProgram() {
    for (float& value : values)
        value = 0.0f;
    for (int slot = kSlotCapGainBase; slot < kSlotCapGainBase + 16; ++slot)
        values[slot] = 0.5f;
    for (int c = 0; c < 4; ++c)
        values[kSlotEQGainBase + c] = 0.5f;
    for (int k = 0; k < 4; ++k)
        values[kSlotOutputGainBase + k] = 0.5f;
    values[kSlotABMatrixEnabled] = 1.0f;
    setName("Init");
}

void AXeTetraProgram::setName(const char* newName) {
    vst_strncpy(name, newName, kNameSize);
}
