#pragma once

#include "params/ParameterConversions.h"

// One program: the parameter values in slot order and a name of at most 23 characters.
class AXeTetraProgram {
public:
    AXeTetraProgram();
    // User program `index` as the processor first builds it: "User <index>", the record's
    // defaults and LF Cut Freq at its top.
    static AXeTetraProgram user(int index);

    // Copies at most kMaxNameLength bytes, never half a UTF-8 character; a null name leaves it
    // empty.
    void setName(const char* newName);

    static constexpr int kNameSize = 24;
    static constexpr int kMaxNameLength = kNameSize - 1;

    float values[kNumParams];
    char name[kNameSize];
};
