#pragma once

#include "core/ParameterConversions.h"

// One program: the parameter values in slot order and a name of at most 23 characters.
class AXeTetraProgram {
public:
    AXeTetraProgram();

    // Copies at most kMaxNameLength bytes, never half a UTF-8 character; a null name leaves it
    // empty.
    void setName(const char* newName);

    static constexpr int kNameSize = 24;
    static constexpr int kMaxNameLength = kNameSize - 1;

    float values[kNumParams];
    char name[kNameSize];
};
