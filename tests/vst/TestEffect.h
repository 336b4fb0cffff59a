#pragma once

#include "vst/AudioEffectX.h"

#include <algorithm>
#include <string>
#include <vector>

// What a test effect saw; outlives the effect so that close and destruction can be observed.
struct EffectLog {
    std::vector<std::string> calls;
    bool destroyed = false;
    bool saw(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
};

// An effect of 3 programs and 5 parameters whose operations record their calls and answer with a
// text the test chooses.
class TestEffect : public AudioEffectX {
public:
    TestEffect(audioMasterCallback audioMaster, EffectLog* log)
        : AudioEffectX(audioMaster, 3, 5), log(log) {}
    ~TestEffect() override { log->destroyed = true; }

    void close() override { note("close"); }
    void processReplacing(float** in, float** out, VstInt32 frames) override {
        lastInputs = in;
        lastOutputs = out;
        note("processReplacing", frames);
    }
    void processDoubleReplacing(double**, double**, VstInt32 frames) override {
        note("processDoubleReplacing", frames);
    }
    void setParameter(VstInt32 index, float value) override {
        note("setParameter", index);
        values[index] = value;
    }
    float getParameter(VstInt32 index) override {
        note("getParameter", index);
        return values[index];
    }
    void setProgram(VstInt32 program) override {
        note("setProgram", program);
        AudioEffectX::setProgram(program);
    }
    void setProgramName(char* name) override { note("setProgramName " + std::string(name)); }
    void getProgramName(char* name) override { give(name, "getProgramName"); }
    void getParameterLabel(VstInt32 i, char* label) override {
        give(label, "getParameterLabel", i);
    }
    void getParameterDisplay(VstInt32 i, char* text) override {
        give(text, "getParameterDisplay", i);
    }
    void getParameterName(VstInt32 i, char* name) override { give(name, "getParameterName", i); }
    bool getProgramNameIndexed(VstInt32, VstInt32 i, char* name) override {
        return answers && give(name, "getProgramNameIndexed", i);
    }
    bool getEffectName(char* name) override { return answers && give(name, "getEffectName"); }
    bool getVendorString(char* text) override { return answers && give(text, "getVendorString"); }
    bool getProductString(char* text) override { return answers && give(text, "getProductString"); }
    // Fills both texts to the last byte, with no terminator: the dispatcher must bound them.
    bool getOutputProperties(VstInt32 index, VstPinProperties* pin) override {
        note("getOutputProperties", index);
        if (!answers) return false;
        for (size_t i = 0; i < sizeof(pin->label); ++i)
            pin->label[i] = text[i % text.size()];
        for (size_t i = 0; i < sizeof(pin->shortLabel); ++i)
            pin->shortLabel[i] = text[i % text.size()];
        pin->flags = kVstPinIsActive | kVstPinIsStereo;
        pin->arrangementType = 5;
        std::fill(pin->future, pin->future + sizeof(pin->future), 'f');
        return true;
    }
    VstInt32 canDo(char* query) override {
        note("canDo " + std::string(query));
        return 0;
    }
    VstInt32 getChunk(void** data, bool isPreset) override {
        note(isPreset ? "getChunk program" : "getChunk bank");
        *data = chunk.empty() ? nullptr : &chunk[0];
        return static_cast<VstInt32>(chunk.size());
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
        note(std::string(isPreset ? "setChunk program " : "setChunk bank ") +
             std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
        return chunkAnswer;
    }

    std::string text = "text";
    bool answers = true; // whether the operations that may decline give their text
    float values[5] = {};
    std::string chunk = "state"; // what getChunk gives
    VstInt32 chunkAnswer = 7;    // what setChunk answers
    float** lastInputs = nullptr;
    float** lastOutputs = nullptr;

private:
    void note(const std::string& call) { log->calls.push_back(call); }
    void note(const char* call, long n) { note(std::string(call) + " " + std::to_string(n)); }
    bool give(char* destination, const char* call, long n = 0) {
        note(call, n);
        destination[text.copy(destination, text.size())] = '\0';
        return true;
    }
    EffectLog* log;
};
