#pragma once

#include "vst/AEffect.h"
#include "vst/NoticeQueue.h"

class AEffEditor;

// The plug-in base: owns the host record, the host callback and the editor, and turns host
// requests into virtual operations. Every text operation writes into a private scratch buffer of
// kScratchSize bytes, which the dispatcher then copies into the host's buffer bounded by the
// sizes of VstStringSizes.
class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect(); // deletes the editor
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getAeffect() { return &cEffect; }

    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }

    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);
    virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames);

    virtual void setParameter(VstInt32 index, float value);
    virtual float getParameter(VstInt32 index);
    // A change the user made in the editor: applies it, then tells the host, which records it
    // as automation between beginEdit and endEdit. Values outside 0..1 are clamped; an index
    // that names no parameter, or a value that is not a number, does nothing.
    virtual void setParameterAutomated(VstInt32 index, float value);
    // The user takes hold of a parameter (a mouse press on a knob) and lets it go again.
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);

    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgramName(char* name);
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);

    // The state as a chunk (with programsAreChunks): the bank, or with isPreset the current
    // program. getChunk points *data at bytes that stay valid until the next request and answers
    // their count (0: none); setChunk answers 1 when it took the bytes, which stay the caller's.
    virtual VstInt32 getChunk(void** data, bool isPreset);
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset);

    virtual void setEditor(AEffEditor* newEditor);
    AEffEditor* getEditor() { return editor; }
    // Error notices of this instance, shown by an open editor.
    CNoticeQueue* getNoticeQueue() { return &notices; }
    float getSampleRate() const { return sampleRate; }
    VstInt32 getNumPrograms() const { return numPrograms; }
    VstInt32 getNumParams() const { return numParams; }

    void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    void canProcessReplacing(bool state = true);
    // Tells the host to save and restore the state through getChunk and setChunk.
    void programsAreChunks(bool state = true);
    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
    VstInt32 getInitialDelay() const { return cEffect.initialDelay; }

    // Host requests.
    virtual VstInt32 getMasterVersion();

    // Size of the buffer the text operations write into; dispatcher copies are bounded after.
    static constexpr int kScratchSize = 256;

protected:
    audioMasterCallback audioMaster;
    AEffEditor* editor;
    float sampleRate;
    VstInt32 blockSize;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram;
    AEffect cEffect;
    CNoticeQueue notices;
};

// Defined by the plug-in: creates its effect object for a host callback (null on failure).
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
