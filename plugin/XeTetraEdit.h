#pragma once

#include "core/XeTetra.h"

// The processor as hosts load it: the identifier hosts know it by, and the editor window that
// follows host automation.
class AXeTetraEdit : public AXeTetra {
public:
    explicit AXeTetraEdit(audioMasterCallback audioMaster);
    ~AXeTetraEdit() override;

    // Applies the value, then lets an editor follow the change.
    void setParameter(VstInt32 index, float value) override;

    // 'XeT1', first character in the most significant byte.
    static constexpr VstInt32 kUniqueID = ('X' << 24) | ('e' << 16) | ('T' << 8) | '1';
};
