#pragma once

#include "vst/AEffEditor.h"
#include "vst/AudioEffectX.h"

#include <string>
#include <vector>

// What a test effect saw; outlives the effect so that close and destruction can be observed.
struct EffectLog {
    std::vector<std::string> calls;
    bool destroyed = false;
    bool editorDestroyed = false;
};

// An effect whose operations record their arguments and answer with texts the test chooses.
class TestEffect : public AudioEffectX {
public:
    TestEffect(audioMasterCallback audioMaster, EffectLog* log, VstInt32 programs = 3,
               VstInt32 params = 5)
        : AudioEffectX(audioMaster, programs, params), log(log) {}
    ~TestEffect() override { log->destroyed = true; }

    void open() override { note("open"); }
    void close() override { note("close"); }
    void suspend() override { note("suspend"); }
    void resume() override {
        note("resume");
        AudioEffectX::resume();
    }
    void setSampleRate(float rate) override {
        note("setSampleRate " + std::to_string(rate));
        AudioEffectX::setSampleRate(rate);
    }
    void setBlockSize(VstInt32 size) override {
        note("setBlockSize " + std::to_string(size));
        AudioEffectX::setBlockSize(size);
    }
    void processReplacing(float** in, float** out, VstInt32 frames) override {
        lastInputs = in;
        lastOutputs = out;
        note("processReplacing " + std::to_string(frames));
    }
    void processDoubleReplacing(double**, double**, VstInt32 frames) override {
        note("processDoubleReplacing " + std::to_string(frames));
    }
    void setParameter(VstInt32 index, float value) override {
        note("setParameter " + std::to_string(index) + " " + std::to_string(value));
        if (index >= 0 && index < 8) values[index] = value;
    }
    float getParameter(VstInt32 index) override {
        note("getParameter " + std::to_string(index));
        return index >= 0 && index < 8 ? values[index] : 0.0f;
    }
    void setProgram(VstInt32 program) override {
        note("setProgram " + std::to_string(program));
        AudioEffectX::setProgram(program);
    }
    void setProgramName(char* name) override { note("setProgramName " + std::string(name)); }
    void getProgramName(char* name) override { put(name, text); }
    void getParameterLabel(VstInt32 index, char* label) override {
        note("getParameterLabel " + std::to_string(index));
        put(label, text);
    }
    void getParameterDisplay(VstInt32 index, char* display) override {
        note("getParameterDisplay " + std::to_string(index));
        put(display, text);
    }
    void getParameterName(VstInt32 index, char* name) override {
        note("getParameterName " + std::to_string(index));
        put(name, text);
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* name) override {
        note("getProgramNameIndexed " + std::to_string(category) + " " + std::to_string(index));
        if (!answerIndexed) return false;
        put(name, text);
        return true;
    }
    bool canParameterBeAutomated(VstInt32 index) override {
        note("canParameterBeAutomated " + std::to_string(index));
        return index != 2;
    }
    bool getEffectName(char* name) override { return putIf(name); }
    bool getVendorString(char* vendor) override { return putIf(vendor); }
    bool getProductString(char* product) override { return putIf(product); }
    VstInt32 getVendorVersion() override { return 1234; }
    VstInt32 getPlugCategory() override { return 7; }
    VstInt32 canDo(char* query) override {
        note("canDo " + std::string(query));
        return canDoAnswer;
    }

    // Exposed for the tests.
    using AudioEffect::blockSize;
    using AudioEffect::curProgram;
    using AudioEffect::sampleRate;

    std::string text = "text";
    bool answerIndexed = true;
    bool answerStrings = true;
    VstInt32 canDoAnswer = 0;
    float values[8] = {};
    float** lastInputs = nullptr;
    float** lastOutputs = nullptr;

private:
    void note(const std::string& call) { log->calls.push_back(call); }
    static void put(char* destination, const std::string& source) {
        source.copy(destination, source.size());
        destination[source.size()] = '\0';
    }
    bool putIf(char* destination) {
        if (answerStrings) put(destination, text);
        return answerStrings;
    }
    EffectLog* log;
};

// An editor that tells the log when it is destroyed and records what reaches it.
class TestEditor : public AEffEditor {
public:
    TestEditor(AudioEffect* effect, EffectLog* log) : AEffEditor(effect), log(log) {
        rect.top = 1;
        rect.left = 2;
        rect.bottom = 300;
        rect.right = 400;
    }
    ~TestEditor() override { log->editorDestroyed = true; }
    bool open(void* ptr) override {
        AEffEditor::open(ptr);
        log->calls.push_back("editor open");
        return true;
    }
    void close() override {
        AEffEditor::close();
        log->calls.push_back("editor close");
    }
    void idle() override { log->calls.push_back("editor idle"); }

private:
    EffectLog* log;
};
