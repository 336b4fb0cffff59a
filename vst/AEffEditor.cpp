#include "vst/AEffEditor.h"

#include "vst/AudioEffect.h"

AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect), systemWindow(nullptr), rect() {
    if (effect != nullptr) effect->setEditor(this);
}

bool AEffEditor::getRect(ERect** result) {
    if (result == nullptr) return false;
    *result = &rect;
    return true;
}

bool AEffEditor::open(void* ptr) {
    systemWindow = ptr;
    // A bare editor draws nothing, so it reports no window of its own.
    return false;
}

void AEffEditor::close() {
    systemWindow = nullptr;
}

void AEffEditor::setParameter(VstInt32, float) {}
