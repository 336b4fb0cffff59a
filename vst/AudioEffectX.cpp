#include "vst/AudioEffectX.h"

#include <cstring>

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms,
                           VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

void AudioEffectX::resume() {
    // Asked for the host's sake only: this plug-in takes no events whatever the answer.
    char query[] = "receiveVstMidiEvent";
    (void)canDo(query);
}

bool AudioEffectX::getProgramNameIndexed(VstInt32, VstInt32, char*) {
    return false;
}
bool AudioEffectX::getParameterDisplayAt(VstInt32, float, char*) {
    return false;
}
bool AudioEffectX::canParameterBeAutomated(VstInt32) {
    return true;
}
bool AudioEffectX::getInputProperties(VstInt32, VstPinProperties*) {
    return false;
}
bool AudioEffectX::getOutputProperties(VstInt32, VstPinProperties*) {
    return false;
}
bool AudioEffectX::getEffectName(char*) {
    return false;
}
bool AudioEffectX::getVendorString(char*) {
    return false;
}
bool AudioEffectX::getProductString(char*) {
    return false;
}
VstInt32 AudioEffectX::getVendorVersion() {
    return 0;
}
VstInt32 AudioEffectX::getPlugCategory() {
    return 0;
}
VstInt32 AudioEffectX::canDo(char*) {
    return 0;
}
VstInt32 AudioEffectX::getVstVersion() {
    return 2400;
}

bool AudioEffectX::updateDisplay() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::ioChanged() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterIOChanged, 0, 0, nullptr, 0.0f) != 0;
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    char scratch[kScratchSize] = {};
    char* text = static_cast<char*>(ptr);

    switch (opcode) {
    case effCanBeAutomated:
        if (index < 0 || index >= numParams) return 0;
        return canParameterBeAutomated(index) ? 1 : 0;
    case effGetProgramNameIndexed:
        if (text == nullptr || index < 0 || index >= numPrograms) return 0;
        if (!getProgramNameIndexed(static_cast<VstInt32>(value), index, scratch)) return 0;
        vst_strncpy(text, scratch, kVstMaxProgNameLen);
        return 1;
    case effGetInputProperties:
    case effGetOutputProperties: {
        const bool input = opcode == effGetInputProperties;
        if (ptr == nullptr || index < 0 ||
            index >= (input ? cEffect.numInputs : cEffect.numOutputs))
            return 0;
        VstPinProperties pin;
        std::memset(&pin, 0, sizeof(pin));
        if (!(input ? getInputProperties(index, &pin) : getOutputProperties(index, &pin))) return 0;
        // The host's record gets the texts bounded and terminated, and zeros where we say nothing.
        VstPinProperties* answer = static_cast<VstPinProperties*>(ptr);
        std::memset(answer, 0, sizeof(*answer));
        vst_strncpy(answer->label, pin.label, kVstMaxLabelLen);
        vst_strncpy(answer->shortLabel, pin.shortLabel, kVstMaxShortLabelLen);
        answer->flags = pin.flags;
        answer->arrangementType = pin.arrangementType;
        return 1;
    }
    case effGetPlugCategory:
        return getPlugCategory();
    case effGetEffectName:
        if (text == nullptr || !getEffectName(scratch)) return 0;
        vst_strncpy(text, scratch, kVstMaxEffectNameLen);
        return 1;
    case effGetVendorString:
        if (text == nullptr || !getVendorString(scratch)) return 0;
        vst_strncpy(text, scratch, kVstMaxVendorStrLen);
        return 1;
    case effGetProductString:
        if (text == nullptr || !getProductString(scratch)) return 0;
        vst_strncpy(text, scratch, kVstMaxProductStrLen);
        return 1;
    case effGetVendorVersion:
        return getVendorVersion();
    case effCanDo:
        if (text == nullptr) return 0;
        // The query is the host's text; read it bounded and hand on our own terminated copy.
        vst_strncpy(scratch, text, kScratchSize);
        return canDo(scratch);
    case effGetVstVersion:
        return getVstVersion();
    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}
