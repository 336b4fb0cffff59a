#include "plugin/XeTetraEdit.h"

#include "editor/XeTEditor.h"
#include "vst/AEffEditor.h"

#include <new>

AXeTetraEdit::AXeTetraEdit(audioMasterCallback audioMaster) : AXeTetra(audioMaster) {
    setUniqueID(kUniqueID);
    // Registers itself as this effect's editor, which sets the has-editor flag; the plug-in base
    // deletes it.
    new (std::nothrow) AXeTEditor(this);
}

AXeTetraEdit::~AXeTetraEdit() = default;

void AXeTetraEdit::setParameter(VstInt32 index, float value) {
    AXeTetra::setParameter(index, value);
    if (editor != nullptr) editor->setParameter(index, value);
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new (std::nothrow) AXeTetraEdit(audioMaster);
}
