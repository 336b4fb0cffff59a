#include "vst/AudioEffect.h"

#include "vst/AEffEditor.h"

#include <cmath>
#include <cstdint>

namespace {

AudioEffect* effectOf(AEffect* effect) {
    return effect != nullptr ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

VstIntPtr dispatchEffect(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                         void* ptr, float opt) {
    AudioEffect* object = effectOf(effect);
    return object != nullptr ? object->dispatcher(opcode, index, value, ptr, opt) : 0;
}

// The deprecated accumulating entry: we never add into a host's buffers.
void processAccumulating(AEffect*, float**, float**, VstInt32) {}

void processEffectReplacing(AEffect* effect, float** inputs, float** outputs,
                            VstInt32 sampleFrames) {
    AudioEffect* object = effectOf(effect);
    if (object == nullptr || sampleFrames < 0) return;
    if (sampleFrames > 0 && (inputs == nullptr || outputs == nullptr)) return;
    object->processReplacing(inputs, outputs, sampleFrames);
}

void processEffectDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                  VstInt32 sampleFrames) {
    AudioEffect* object = effectOf(effect);
    if (object == nullptr || sampleFrames < 0) return;
    if (sampleFrames > 0 && (inputs == nullptr || outputs == nullptr)) return;
    object->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void setEffectParameter(AEffect* effect, VstInt32 index, float value) {
    AudioEffect* object = effectOf(effect);
    if (object == nullptr || index < 0 || index >= effect->numParams) return;
    if (!std::isfinite(value)) return;
    object->setParameter(index, value);
}

float getEffectParameter(AEffect* effect, VstInt32 index) {
    AudioEffect* object = effectOf(effect);
    if (object == nullptr || index < 0 || index >= effect->numParams) return 0.0f;
    float value = object->getParameter(index);
    return std::isfinite(value) ? value : 0.0f;
}

} // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), editor(nullptr), sampleRate(44100.0f), blockSize(1024),
      numPrograms(numPrograms), numParams(numParams), curProgram(0), cEffect() {
    // cEffect() zeroes every field, the reserved ones and future[] included; hosts read them.
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffect;
    cEffect.process = processAccumulating;
    cEffect.setParameter = setEffectParameter;
    cEffect.getParameter = getEffectParameter;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = 0;
    cEffect.version = 1;
    cEffect.processReplacing = processEffectReplacing;
    cEffect.processDoubleReplacing = processEffectDoubleReplacing;
}

AudioEffect::~AudioEffect() {
    delete editor;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    if (editor != nullptr)
        cEffect.flags |= effFlagsHasEditor;
    else
        cEffect.flags &= ~effFlagsHasEditor;
}

void AudioEffect::canProcessReplacing(bool state) {
    if (state)
        cEffect.flags |= effFlagsCanReplacing;
    else
        cEffect.flags &= ~effFlagsCanReplacing;
}

void AudioEffect::programsAreChunks(bool state) {
    if (state)
        cEffect.flags |= effFlagsProgramChunks;
    else
        cEffect.flags &= ~effFlagsProgramChunks;
}

VstInt32 AudioEffect::getChunk(void**, bool) {
    return 0;
}
VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) {
    return 0;
}

void AudioEffect::processReplacing(float**, float**, VstInt32) {}
void AudioEffect::processDoubleReplacing(double**, double**, VstInt32) {}
void AudioEffect::setParameter(VstInt32, float) {}
float AudioEffect::getParameter(VstInt32) {
    return 0.0f;
}
void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    if (index < 0 || index >= numParams || std::isnan(value)) return;
    value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    setParameter(index, value);
    if (audioMaster != nullptr)
        audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

bool AudioEffect::beginEdit(VstInt32 index) {
    if (audioMaster == nullptr || index < 0 || index >= numParams) return false;
    return audioMaster(&cEffect, audioMasterBeginEdit, index, 0, nullptr, 0.0f) != 0;
}

bool AudioEffect::endEdit(VstInt32 index) {
    if (audioMaster == nullptr || index < 0 || index >= numParams) return false;
    return audioMaster(&cEffect, audioMasterEndEdit, index, 0, nullptr, 0.0f) != 0;
}

void AudioEffect::setProgramName(char*) {}
void AudioEffect::getProgramName(char* name) {
    name[0] = '\0';
}
void AudioEffect::getParameterLabel(VstInt32, char* label) {
    label[0] = '\0';
}
void AudioEffect::getParameterDisplay(VstInt32, char* text) {
    text[0] = '\0';
}
void AudioEffect::getParameterName(VstInt32, char* text) {
    text[0] = '\0';
}

VstInt32 AudioEffect::getMasterVersion() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f));
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    // The scratch lives on the stack: hosts ask for texts from several threads at once, and a
    // buffer per call cannot be shared between them.
    char scratch[kScratchSize] = {};
    char* text = static_cast<char*>(ptr);
    const bool validParam = index >= 0 && index < numParams;

    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        delete this;
        return 1;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (text == nullptr) return 0;
        vst_strncpy(scratch, text, kVstMaxProgNameLen);
        setProgramName(scratch);
        return 0;
    case effGetProgramName:
        if (text == nullptr) return 0;
        getProgramName(scratch);
        vst_strncpy(text, scratch, kVstMaxProgNameLen);
        return 0;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        // An index that names no parameter leaves the host's buffer as it was.
        if (text == nullptr || !validParam) return 0;
        if (opcode == effGetParamLabel)
            getParameterLabel(index, scratch);
        else if (opcode == effGetParamDisplay)
            getParameterDisplay(index, scratch);
        else
            getParameterName(index, scratch);
        vst_strncpy(text, scratch, kVstMaxParamStrLen);
        return 0;
    case effSetSampleRate:
        // A rate that is not a positive number would only poison every filter design.
        if (std::isfinite(opt) && opt > 0.0f) setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        if (editor == nullptr || ptr == nullptr) return 0;
        return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
        if (editor == nullptr) return 0;
        return editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor == nullptr) return 0;
        editor->close();
        return 1;
    case effEditIdle:
        if (editor == nullptr) return 0;
        editor->idle();
        return 1;
    case effGetChunk: {
        // Asked only of an effect that announced chunks; ptr is where the host wants the address.
        if (ptr == nullptr || (cEffect.flags & effFlagsProgramChunks) == 0) return 0;
        void** data = static_cast<void**>(ptr);
        *data = nullptr;
        const VstInt32 size = getChunk(data, index != 0);
        if (size <= 0 || *data == nullptr) {
            *data = nullptr;
            return 0;
        }
        return size;
    }
    case effSetChunk:
        if (ptr == nullptr || value < 0 || value > INT32_MAX ||
            (cEffect.flags & effFlagsProgramChunks) == 0)
            return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0) != 0 ? 1 : 0;
    default:
        return 0;
    }
}
