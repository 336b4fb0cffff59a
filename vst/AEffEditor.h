#pragma once

#include "vst/AEffect.h"

class AudioEffect;

// The editor of a plug-in. Constructing it with an effect registers it as that effect's editor,
// which sets the has-editor flag; the effect deletes it.
class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect = nullptr);
    virtual ~AEffEditor() = default;

    virtual bool getRect(ERect** rect);
    virtual bool open(void* ptr);
    virtual void close();
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}
    // Told after each parameter change of the effect, on whatever thread made it.
    virtual void setParameter(VstInt32 index, float value);

    AudioEffect* getEffect() { return effect; }

protected:
    AudioEffect* effect;
    void* systemWindow;
    ERect rect;
};
