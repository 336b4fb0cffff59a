#pragma once

#include "core/XeTetra.h"
#include "editor/MeterSource.h"

class AXeTEditor;

// The processor as hosts load it: the identifier hosts know it by, and the editor window, which
// follows host automation and program changes and reads the processor's output meters.
class AXeTetraEdit : public AXeTetra, public CMeterSource {
public:
    explicit AXeTetraEdit(audioMasterCallback audioMaster);
    ~AXeTetraEdit() override;

    // Applies the value, then lets an editor follow the change.
    void setParameter(VstInt32 index, float value) override;
    // Selects the program, then lets an editor take its values as the ones to go back to.
    void setProgram(VstInt32 program) override;
    // The names of the filter sets, for the editor's menus.
    bool getParameterDisplayAt(VstInt32 index, float value, char* text) override;

    void readMeters(CMeterValues& values) override;
    void resetMeters() override;

    // 'XeT1', first character in the most significant byte.
    static constexpr VstInt32 kUniqueID = ('X' << 24) | ('e' << 16) | ('T' << 8) | '1';

private:
    AXeTEditor* window; // the plug-in base owns it as its editor
};
