#include "plugin/XeTetraEdit.h"

#include "dsp/Filter.h"
#include "editor/XeTEditor.h"

#include <cmath>
#include <new>

AXeTetraEdit::AXeTetraEdit(audioMasterCallback audioMaster)
    : AXeTetra(audioMaster), window(nullptr) {
    setUniqueID(kUniqueID);
    // Registers itself as this effect's editor, which sets the has-editor flag; the plug-in base
    // deletes it.
    window = new (std::nothrow) AXeTEditor(this, this);
}

AXeTetraEdit::~AXeTetraEdit() = default;

void AXeTetraEdit::setParameter(VstInt32 index, float value) {
    AXeTetra::setParameter(index, value);
    if (editor != nullptr) editor->setParameter(index, value);
}

void AXeTetraEdit::setProgram(VstInt32 program) {
    AXeTetra::setProgram(program);
    if (window != nullptr) window->programSelected();
}

bool AXeTetraEdit::getParameterDisplayAt(VstInt32 index, float value, char* text) {
    if (text == nullptr || (index != kPreMatrixFilter && index != kPostMatrixFilter)) return false;
    const int n = oneMAXFILTERConvert(value);
    const char* setName = nullptr;
    if (index == kPostMatrixFilter)
        setName = GetPostMatrixSetName(n);
    else if (n >= 0 && n < numPreMatrixSets && preMatrixFilters[n][0] != nullptr)
        setName = preMatrixFilters[n][0]->getName();
    if (setName == nullptr) return false;
    vst_strncpy(text, setName, kScratchSize);
    return true;
}

void AXeTetraEdit::readMeters(CMeterValues& values) {
    COutputMeters::CReading reading;
    GetOutputMeters().read(reading);
    for (int k = 0; k < 4; ++k) {
        values.peak[k] = reading.peak[k];
        values.rms[k] = std::sqrt(reading.meanSquare[k] > 0.0f ? reading.meanSquare[k] : 0.0f);
    }
    for (int j = 0; j < 3; ++j)
        values.intensity[j] = reading.intensity[j];
    values.updates = reading.blocks;
}

void AXeTetraEdit::resetMeters() {
    GetOutputMeters().requestReset();
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new (std::nothrow) AXeTetraEdit(audioMaster);
}
