#include "params/XeTetraProgram.h"

#include "vst/AEffect.h"

#include <cstdio>

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

AXeTetraProgram AXeTetraProgram::user(int index) {
    AXeTetraProgram program;
    char name[kNameSize];
    std::snprintf(name, sizeof(name), "User %d", index);
    program.setName(name);
    program.values[kSlotLFCutFreq] = 1.0f;
    return program;
}

void AXeTetraProgram::setName(const char* newName) {
    vst_strncpy(name, newName, kNameSize);
}
