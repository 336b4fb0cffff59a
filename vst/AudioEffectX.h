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
    // The display text parameter index would show at value, without setting it (at most
    // kScratchSize bytes with the terminator); false when the value means nothing to the
    // parameter, e.g. a filter-set number that names no set. An editor lists a stepped
    // parameter's choices with it.
    virtual bool getParameterDisplayAt(VstInt32 index, float value, char* text);
    virtual bool canParameterBeAutomated(VstInt32 index);
    // Fill a zeroed record for pin `index` (below the number of inputs or outputs); false when
    // there is nothing to say. The dispatcher copies what reaches the host, bounded.
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties);
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties);
    virtual bool getEffectName(char* name);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual VstInt32 getVendorVersion();
    virtual VstInt32 getPlugCategory();
    virtual VstInt32 canDo(char* text);
    virtual VstInt32 getVstVersion();

    // Asks the host to read the programs and parameters again (host request 42), after the
    // editor selected or renamed a program.
    virtual bool updateDisplay();
    // Tells the host that the I/O shape or the initial delay changed (host request 13).
    virtual bool ioChanged();
};
