#include "editor/AEffGUIEditor.h"

#include "gui/CFrame.h"

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect)
    : AEffEditor(effect), frame(nullptr), inIdle(false) {}

AEffGUIEditor::~AEffGUIEditor() {
    delete frame;
    frame = nullptr;
}

void AEffGUIEditor::close() {
    delete frame;
    frame = nullptr;
    AEffEditor::close();
}

void AEffGUIEditor::idle() {
    // A listener called from the frame's event handling may make the host idle us again.
    if (inIdle || frame == nullptr || !isOpen()) return;
    inIdle = true;
    frame->idle();
    inIdle = false;
}
