#pragma once

#include "vst/AudioEffect.h"

// The VST 2.x requests on top of AudioEffect.
class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    void resume() override;

    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text);
    virtual bool canParameterBeAutomated(VstInt32 index);
    virtual bool getEffectName(char* name);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual VstInt32 getVendorVersion();
    virtual VstInt32 getPlugCategory();
    virtual VstInt32 canDo(char* text);
    virtual VstInt32 getVstVersion();

    // Tells the host that the I/O shape or the initial delay changed (host request 13).
    virtual bool ioChanged();
};
