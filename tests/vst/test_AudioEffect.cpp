#include "TestEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Host side of the tests: the callback finds its recorder through the record's user field.
struct HostLog {
    std::vector<VstInt32> opcodes;
    VstIntPtr answer = 0;
};

VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (effect == nullptr || effect->user == nullptr) return 0;
    auto* host = static_cast<HostLog*>(effect->user);
    host->opcodes.push_back(opcode);
    return host->answer;
}

VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

constexpr unsigned char kCanary = 0xA5;

// A host text buffer bigger than anything we may write, filled with a canary pattern.
struct HostBuffer {
    char bytes[512];
    HostBuffer() { std::memset(bytes, kCanary, sizeof(bytes)); }
    bool untouchedFrom(size_t start) const {
        for (size_t i = start; i < sizeof(bytes); ++i)
            if (static_cast<unsigned char>(bytes[i]) != kCanary) return false;
        return true;
    }
};

class AudioEffectTest : public ::testing::Test {
protected:
    void SetUp() override {
        effect = new TestEffect(recordingHost, &log);
        record = effect->getAeffect();
        record->user = &host;
    }
    void TearDown() override {
        if (!log.destroyed) delete effect;
    }
    bool called(const std::string& call) const {
        for (const std::string& c : log.calls)
            if (c == call) return true;
        return false;
    }

    EffectLog log;
    HostLog host;
    TestEffect* effect = nullptr;
    AEffect* record = nullptr;
};

TEST(AEffectLayout, MatchesThePublishedBinaryInterface) {
    ASSERT_EQ(sizeof(void*), 8u) << "offsets below are those of x86-64";
    EXPECT_EQ(offsetof(AEffect, magic), 0u);
    EXPECT_EQ(offsetof(AEffect, dispatcher), 8u);
    EXPECT_EQ(offsetof(AEffect, process), 16u);
    EXPECT_EQ(offsetof(AEffect, setParameter), 24u);
    EXPECT_EQ(offsetof(AEffect, getParameter), 32u);
    EXPECT_EQ(offsetof(AEffect, numPrograms), 40u);
    EXPECT_EQ(offsetof(AEffect, numParams), 44u);
    EXPECT_EQ(offsetof(AEffect, numInputs), 48u);
    EXPECT_EQ(offsetof(AEffect, numOutputs), 52u);
    EXPECT_EQ(offsetof(AEffect, flags), 56u);
    EXPECT_EQ(offsetof(AEffect, resvd1), 64u);
    EXPECT_EQ(offsetof(AEffect, resvd2), 72u);
    EXPECT_EQ(offsetof(AEffect, initialDelay), 80u);
    EXPECT_EQ(offsetof(AEffect, realQualities), 84u);
    EXPECT_EQ(offsetof(AEffect, offQualities), 88u);
    EXPECT_EQ(offsetof(AEffect, ioRatio), 92u);
    EXPECT_EQ(offsetof(AEffect, object), 96u);
    EXPECT_EQ(offsetof(AEffect, user), 104u);
    EXPECT_EQ(offsetof(AEffect, uniqueID), 112u);
    EXPECT_EQ(offsetof(AEffect, version), 116u);
    EXPECT_EQ(offsetof(AEffect, processReplacing), 120u);
    EXPECT_EQ(offsetof(AEffect, processDoubleReplacing), 128u);
    EXPECT_EQ(offsetof(AEffect, future), 136u);
    EXPECT_EQ(sizeof(AEffect::future), 56u);
    EXPECT_EQ(sizeof(AEffect), 192u);

    EXPECT_EQ(offsetof(ERect, top), 0u);
    EXPECT_EQ(offsetof(ERect, left), 2u);
    EXPECT_EQ(offsetof(ERect, bottom), 4u);
    EXPECT_EQ(offsetof(ERect, right), 6u);
    EXPECT_EQ(sizeof(ERect), 8u);

    EXPECT_EQ(kEffectMagic, ('V' << 24) | ('s' << 16) | ('t' << 8) | 'P');
    EXPECT_EQ(effFlagsHasEditor, 1);
    EXPECT_EQ(effFlagsCanReplacing, 16);
    EXPECT_EQ(effFlagsProgramChunks, 32);
    EXPECT_EQ(effFlagsCanDoubleReplacing, 4096);
}

TEST_F(AudioEffectTest, BaseFillsTheRecord) {
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_EQ(record->object, effect);
    EXPECT_EQ(record->numPrograms, 3);
    EXPECT_EQ(record->numParams, 5);
    EXPECT_EQ(record->ioRatio, 1.0f);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->initialDelay, 0);
    EXPECT_EQ(record->realQualities, 0);
    EXPECT_EQ(record->offQualities, 0);
    EXPECT_EQ(record->resvd1, 0);
    EXPECT_EQ(record->resvd2, 0);
    EXPECT_EQ(record->uniqueID, 0);
    EXPECT_EQ(record->flags, 0);
    for (char c : record->future)
        EXPECT_EQ(c, 0);
    EXPECT_NE(record->dispatcher, nullptr);
    EXPECT_NE(record->process, nullptr);
    EXPECT_NE(record->setParameter, nullptr);
    EXPECT_NE(record->getParameter, nullptr);
    EXPECT_NE(record->processReplacing, nullptr);
    EXPECT_NE(record->processDoubleReplacing, nullptr);
    EXPECT_EQ(effect->getSampleRate(), 44100.0f);
    EXPECT_EQ(effect->getProgram(), 0);

    effect->canProcessReplacing();
    EXPECT_EQ(record->flags, effFlagsCanReplacing);
    effect->setNumInputs(4);
    effect->setNumOutputs(4);
    effect->setUniqueID(0x58655431);
    effect->setInitialDelay(1024);
    EXPECT_EQ(record->numInputs, 4);
    EXPECT_EQ(record->numOutputs, 4);
    EXPECT_EQ(record->uniqueID, 0x58655431);
    EXPECT_EQ(record->initialDelay, 1024);
    EXPECT_EQ(effect->getInitialDelay(), 1024);
    effect->canProcessReplacing(false);
    EXPECT_EQ(record->flags, 0);
}

TEST_F(AudioEffectTest, EditorRegistersItselfAndIsDeletedWithTheEffect) {
    EXPECT_EQ(effect->getEditor(), nullptr);
    auto* editor = new TestEditor(effect, &log);
    EXPECT_EQ(effect->getEditor(), editor);
    EXPECT_EQ(record->flags & effFlagsHasEditor, effFlagsHasEditor);
    EXPECT_EQ(editor->getEffect(), effect);

    effect->setEditor(nullptr);
    EXPECT_EQ(record->flags & effFlagsHasEditor, 0);
    effect->setEditor(editor);
    EXPECT_EQ(record->flags & effFlagsHasEditor, effFlagsHasEditor);

    delete effect;
    EXPECT_TRUE(log.destroyed);
    EXPECT_TRUE(log.editorDestroyed);
}

TEST_F(AudioEffectTest, EditorRequestsReachTheEditorOnlyWhenOneExists) {
    ERect* rect = nullptr;
    int window = 0;
    EXPECT_EQ(dispatch(record, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    EXPECT_EQ(dispatch(record, effEditOpen, 0, 0, &window), 0);
    EXPECT_EQ(dispatch(record, effEditClose), 0);
    EXPECT_EQ(dispatch(record, effEditIdle), 0);

    auto* editor = new TestEditor(effect, &log);
    EXPECT_EQ(dispatch(record, effEditGetRect, 0, 0, nullptr), 0);
    ASSERT_EQ(dispatch(record, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 1);
    EXPECT_EQ(rect->left, 2);
    EXPECT_EQ(rect->bottom, 300);
    EXPECT_EQ(rect->right, 400);

    EXPECT_EQ(dispatch(record, effEditOpen, 0, 0, &window), 1);
    EXPECT_TRUE(editor->isOpen());
    EXPECT_EQ(dispatch(record, effEditIdle), 1);
    EXPECT_EQ(dispatch(record, effEditClose), 1);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_TRUE(called("editor open"));
    EXPECT_TRUE(called("editor idle"));
    EXPECT_TRUE(called("editor close"));
}

TEST(AEffEditorBase, ReportsItsRectangleAndNoWindowOfItsOwn) {
    AEffEditor editor;
    ERect* rect = nullptr;
    EXPECT_FALSE(editor.getRect(nullptr));
    ASSERT_TRUE(editor.getRect(&rect));
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->right, 0);
    int window = 0;
    EXPECT_FALSE(editor.open(&window));
    EXPECT_TRUE(editor.isOpen());
    editor.close();
    EXPECT_FALSE(editor.isOpen());
    EXPECT_EQ(editor.getEffect(), nullptr);
}

TEST_F(AudioEffectTest, DispatcherRoutesEachRequest) {
    EXPECT_EQ(dispatch(record, effOpen), 0);
    EXPECT_TRUE(called("open"));

    EXPECT_EQ(dispatch(record, effSetProgram, 0, 2), 0);
    EXPECT_EQ(dispatch(record, effGetProgram), 2);
    EXPECT_TRUE(called("setProgram 2"));

    char newName[] = "Hall";
    dispatch(record, effSetProgramName, 0, 0, newName);
    EXPECT_TRUE(called("setProgramName Hall"));

    dispatch(record, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(effect->getSampleRate(), 48000.0f);
    dispatch(record, effSetBlockSize, 0, 512);
    EXPECT_EQ(effect->blockSize, 512);
    EXPECT_TRUE(called("setBlockSize 512"));

    log.calls.clear();
    dispatch(record, effMainsChanged, 0, 0);
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0], "suspend");
    log.calls.clear();
    dispatch(record, effMainsChanged, 0, 1);
    // The base's resume asks about MIDI events and does nothing else.
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0], "resume");
    EXPECT_EQ(log.calls[1], "canDo receiveVstMidiEvent");

    HostBuffer buffer;
    effect->text = "Gain";
    dispatch(record, effGetParamName, 4, 0, buffer.bytes);
    EXPECT_STREQ(buffer.bytes, "Gain");
    EXPECT_TRUE(called("getParameterName 4"));
    effect->text = "dB";
    dispatch(record, effGetParamLabel, 1, 0, buffer.bytes);
    EXPECT_STREQ(buffer.bytes, "dB");
    EXPECT_TRUE(called("getParameterLabel 1"));
    effect->text = " -8.0";
    dispatch(record, effGetParamDisplay, 0, 0, buffer.bytes);
    EXPECT_STREQ(buffer.bytes, " -8.0");
    EXPECT_TRUE(called("getParameterDisplay 0"));
    effect->text = "User 1";
    dispatch(record, effGetProgramName, 0, 0, buffer.bytes);
    EXPECT_STREQ(buffer.bytes, "User 1");

    EXPECT_EQ(dispatch(record, effCanBeAutomated, 0), 1);
    EXPECT_EQ(dispatch(record, effCanBeAutomated, 2), 0);
    EXPECT_TRUE(called("canParameterBeAutomated 2"));

    effect->text = "Program";
    EXPECT_EQ(dispatch(record, effGetProgramNameIndexed, 1, 5, buffer.bytes), 1);
    EXPECT_STREQ(buffer.bytes, "Program");
    EXPECT_TRUE(called("getProgramNameIndexed 5 1"));

    EXPECT_EQ(dispatch(record, effGetPlugCategory), 7);
    effect->text = "Effect";
    EXPECT_EQ(dispatch(record, effGetEffectName, 0, 0, buffer.bytes), 1);
    EXPECT_STREQ(buffer.bytes, "Effect");
    effect->text = "Vendor";
    EXPECT_EQ(dispatch(record, effGetVendorString, 0, 0, buffer.bytes), 1);
    EXPECT_STREQ(buffer.bytes, "Vendor");
    effect->text = "Product";
    EXPECT_EQ(dispatch(record, effGetProductString, 0, 0, buffer.bytes), 1);
    EXPECT_STREQ(buffer.bytes, "Product");
    EXPECT_EQ(dispatch(record, effGetVendorVersion), 1234);
    char query[] = "bypass";
    effect->canDoAnswer = 1;
    EXPECT_EQ(dispatch(record, effCanDo, 0, 0, query), 1);
    EXPECT_TRUE(called("canDo bypass"));
    EXPECT_EQ(dispatch(record, effGetVstVersion), 2400);
}

TEST_F(AudioEffectTest, RecordEntriesReachTheOperations) {
    record->setParameter(record, 3, 0.25f);
    EXPECT_EQ(effect->values[3], 0.25f);
    EXPECT_EQ(record->getParameter(record, 3), 0.25f);

    float a[4] = {}, b[4] = {};
    float* in[1] = {a};
    float* out[1] = {b};
    record->processReplacing(record, in, out, 4);
    EXPECT_TRUE(called("processReplacing 4"));
    EXPECT_EQ(effect->lastInputs, in);
    EXPECT_EQ(effect->lastOutputs, out);
    record->processReplacing(record, in, out, 0);
    EXPECT_TRUE(called("processReplacing 0"));

    double da[4] = {}, db[4] = {};
    double* din[1] = {da};
    double* dout[1] = {db};
    record->processDoubleReplacing(record, din, dout, 4);
    EXPECT_TRUE(called("processDoubleReplacing 4"));

    // The deprecated accumulating entry never touches the host's buffers.
    float accumulate[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    float source[4] = {5.0f, 5.0f, 5.0f, 5.0f};
    float* accIn[1] = {source};
    float* accOut[1] = {accumulate};
    log.calls.clear();
    record->process(record, accIn, accOut, 4);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(accumulate[0], 1.0f);
    EXPECT_EQ(accumulate[3], 4.0f);
}

TEST_F(AudioEffectTest, BaseProcessingEntriesDoNothing) {
    // A plain AudioEffectX processes nothing: neither replacing entry writes the outputs.
    AudioEffectX plain(recordingHost, 1, 1);
    AEffect* plainRecord = plain.getAeffect();
    float in0[3] = {1, 2, 3}, out0[3] = {7, 7, 7};
    float* in[1] = {in0};
    float* out[1] = {out0};
    plainRecord->processReplacing(plainRecord, in, out, 3);
    EXPECT_EQ(out0[0], 7.0f);
    EXPECT_EQ(out0[2], 7.0f);
    double din0[3] = {1, 2, 3}, dout0[3] = {7, 7, 7};
    double* din[1] = {din0};
    double* dout[1] = {dout0};
    plainRecord->processDoubleReplacing(plainRecord, din, dout, 3);
    EXPECT_EQ(dout0[1], 7.0);
}

TEST_F(AudioEffectTest, TrampolinesRejectWhatNoHostShouldSend) {
    log.calls.clear();
    record->setParameter(record, -1, 0.5f);
    record->setParameter(record, 5, 0.5f);
    record->setParameter(record, 1, std::numeric_limits<float>::quiet_NaN());
    record->setParameter(record, 1, std::numeric_limits<float>::infinity());
    record->setParameter(record, 1, -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(effect->values[1], 0.0f);

    EXPECT_EQ(record->getParameter(record, -1), 0.0f);
    EXPECT_EQ(record->getParameter(record, 5), 0.0f);
    EXPECT_TRUE(log.calls.empty());
    // Whatever an operation stores, the host never reads a non-finite value.
    effect->values[2] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(record->getParameter(record, 2), 0.0f);
    effect->values[2] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(record->getParameter(record, 2), 0.0f);
    log.calls.clear();

    float a[2] = {};
    float* in[1] = {a};
    record->processReplacing(record, in, in, -5);
    record->processReplacing(record, nullptr, in, 2);
    record->processReplacing(record, in, nullptr, 2);
    double d[2] = {};
    double* din[1] = {d};
    record->processDoubleReplacing(record, din, din, -1);
    record->processDoubleReplacing(record, nullptr, nullptr, 2);
    EXPECT_TRUE(log.calls.empty());

    dispatch(record, effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
    dispatch(record, effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::infinity());
    dispatch(record, effSetSampleRate, 0, 0, nullptr, 0.0f);
    dispatch(record, effSetSampleRate, 0, 0, nullptr, -48000.0f);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(effect->getSampleRate(), 44100.0f);

    // A record without its object, or no record at all, answers nothing.
    AEffect orphan = *record;
    orphan.object = nullptr;
    EXPECT_EQ(orphan.dispatcher(&orphan, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(orphan.dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    orphan.setParameter(&orphan, 1, 0.5f);
    EXPECT_EQ(orphan.getParameter(&orphan, 1), 0.0f);
    orphan.processReplacing(&orphan, in, in, 2);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(AudioEffectTest, SetProgramAcceptsOnlyExistingPrograms) {
    dispatch(record, effSetProgram, 0, 2);
    ASSERT_EQ(dispatch(record, effGetProgram), 2);
    log.calls.clear();
    dispatch(record, effSetProgram, 0, 3);
    dispatch(record, effSetProgram, 0, -1);
    dispatch(record, effSetProgram, 0, static_cast<VstIntPtr>(1) << 33);
    dispatch(record, effSetProgram, 0, -(static_cast<VstIntPtr>(1) << 33));
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(dispatch(record, effGetProgram), 2);
    dispatch(record, effSetProgram, 0, 0);
    EXPECT_EQ(dispatch(record, effGetProgram), 0);
}

TEST_F(AudioEffectTest, TextsReachTheHostBoundedAndTerminated) {
    effect->text = std::string(200, 'x');
    struct Case {
        VstInt32 opcode;
        VstInt32 index;
        size_t limit; // characters before the terminator
    };
    const Case cases[] = {
        {effGetParamName, 0, 31},    {effGetParamLabel, 1, 31},         {effGetParamDisplay, 4, 31},
        {effGetProgramName, 0, 23},  {effGetProgramNameIndexed, 2, 23}, {effGetEffectName, 0, 31},
        {effGetVendorString, 0, 63}, {effGetProductString, 0, 63},
    };
    for (const Case& c : cases) {
        HostBuffer buffer;
        dispatch(record, c.opcode, c.index, 0, buffer.bytes);
        EXPECT_EQ(std::strlen(buffer.bytes), c.limit) << "opcode " << c.opcode;
        EXPECT_EQ(std::string(buffer.bytes), std::string(c.limit, 'x')) << "opcode " << c.opcode;
        EXPECT_TRUE(buffer.untouchedFrom(c.limit + 1)) << "opcode " << c.opcode;
    }

    // A text that fits arrives whole, with nothing written past its terminator.
    effect->text = "abc";
    HostBuffer buffer;
    dispatch(record, effGetParamDisplay, 0, 0, buffer.bytes);
    EXPECT_STREQ(buffer.bytes, "abc");
    EXPECT_TRUE(buffer.untouchedFrom(4));
}

TEST_F(AudioEffectTest, RequestsThatFindNothingLeaveTheHostBufferAlone) {
    effect->text = "never";
    HostBuffer buffer;
    const VstInt32 textRequests[] = {effGetParamName, effGetParamLabel, effGetParamDisplay};
    for (VstInt32 opcode : textRequests) {
        EXPECT_EQ(dispatch(record, opcode, -1, 0, buffer.bytes), 0);
        EXPECT_EQ(dispatch(record, opcode, 5, 0, buffer.bytes), 0);
    }
    EXPECT_EQ(dispatch(record, effGetProgramNameIndexed, -1, 0, buffer.bytes), 0);
    EXPECT_EQ(dispatch(record, effGetProgramNameIndexed, 3, 0, buffer.bytes), 0);
    effect->answerIndexed = false;
    EXPECT_EQ(dispatch(record, effGetProgramNameIndexed, 1, 0, buffer.bytes), 0);
    effect->answerStrings = false;
    EXPECT_EQ(dispatch(record, effGetEffectName, 0, 0, buffer.bytes), 0);
    EXPECT_EQ(dispatch(record, effGetVendorString, 0, 0, buffer.bytes), 0);
    EXPECT_EQ(dispatch(record, effGetProductString, 0, 0, buffer.bytes), 0);
    EXPECT_TRUE(buffer.untouchedFrom(0));

    EXPECT_EQ(dispatch(record, effCanBeAutomated, -1), 0);
    EXPECT_EQ(dispatch(record, effCanBeAutomated, 5), 0);
}

TEST_F(AudioEffectTest, NullPointersFromTheHostAreNeverUsed) {
    effect->text = "text";
    const VstInt32 pointerRequests[] = {
        effSetProgramName,        effGetProgramName, effGetParamLabel,
        effGetParamDisplay,       effGetParamName,   effEditGetRect,
        effGetProgramNameIndexed, effGetEffectName,  effGetVendorString,
        effGetProductString,      effCanDo,
    };
    log.calls.clear();
    for (VstInt32 opcode : pointerRequests)
        EXPECT_EQ(dispatch(record, opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(AudioEffectTest, HostTextsAreReadBounded) {
    // Host texts placed right before an unreadable page: reading one byte too many faults.
    const long page = sysconf(_SC_PAGESIZE);
    void* memory =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    char* base = static_cast<char*>(memory);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);

    // A program name of 23 characters without a terminator is all we ever read.
    char* name = base + page - 23;
    std::memset(name, 'n', 23);
    dispatch(record, effSetProgramName, 0, 0, name);
    EXPECT_TRUE(called("setProgramName " + std::string(23, 'n')));

    char* longName = base + page - 100;
    std::memset(longName, 'm', 100);
    dispatch(record, effSetProgramName, 0, 0, longName);
    EXPECT_TRUE(called("setProgramName " + std::string(23, 'm')));

    char* query = base + page - (AudioEffect::kScratchSize - 1);
    std::memset(query, 'q', AudioEffect::kScratchSize - 1);
    dispatch(record, effCanDo, 0, 0, query);
    EXPECT_TRUE(called("canDo " + std::string(AudioEffect::kScratchSize - 1, 'q')));

    munmap(memory, 2 * page);
}

TEST(AudioEffectXBase, AnswersTheNeutralDefaults) {
    // An effect that overrides nothing: the requests of the table get the base's answers and
    // every other request 0, without writing through its pointer.
    AudioEffectX plain(nullptr, 2, 3);
    AEffect* record = plain.getAeffect();
    for (VstInt32 opcode = -2; opcode <= 80; ++opcode) {
        if (opcode == effClose) continue;
        HostBuffer buffer;
        VstIntPtr answer = dispatch(record, opcode, 1, 1, buffer.bytes, 1.0f);
        switch (opcode) {
        case effGetProgram:
            EXPECT_EQ(answer, 1) << "set program 1 earlier";
            break;
        case effCanBeAutomated:
            EXPECT_EQ(answer, 1);
            break;
        case effGetVstVersion:
            EXPECT_EQ(answer, 2400);
            break;
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
            // The base operations have nothing to say: an empty text.
            EXPECT_EQ(answer, 0);
            EXPECT_EQ(buffer.bytes[0], '\0') << "opcode " << opcode;
            EXPECT_TRUE(buffer.untouchedFrom(1)) << "opcode " << opcode;
            break;
        default:
            EXPECT_EQ(answer, 0) << "opcode " << opcode;
            EXPECT_TRUE(buffer.untouchedFrom(0)) << "opcode " << opcode;
        }
    }
    EXPECT_EQ(dispatch(record, 1000), 0);
    EXPECT_EQ(plain.getSampleRate(), 1.0f) << "request 10 carried a rate of 1 Hz";
    EXPECT_EQ(plain.getMasterVersion(), 0) << "no host";
    EXPECT_FALSE(plain.ioChanged()) << "no host";
}

TEST_F(AudioEffectTest, CloseRunsCloseThenDeletesTheEffect) {
    new TestEditor(effect, &log);
    log.calls.clear();
    EXPECT_EQ(dispatch(record, effClose), 1);
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0], "close");
    EXPECT_TRUE(log.destroyed);
    EXPECT_TRUE(log.editorDestroyed);
}

TEST_F(AudioEffectTest, HostRequestsGoThroughTheCallback) {
    host.answer = 2400;
    EXPECT_EQ(effect->getMasterVersion(), 2400);
    host.answer = 0;
    EXPECT_FALSE(effect->ioChanged());
    host.answer = 1;
    EXPECT_TRUE(effect->ioChanged());
    ASSERT_EQ(host.opcodes.size(), 3u);
    EXPECT_EQ(host.opcodes[0], audioMasterVersion);
    EXPECT_EQ(host.opcodes[1], audioMasterIOChanged);
    EXPECT_EQ(host.opcodes[2], audioMasterIOChanged);
    EXPECT_EQ(audioMasterIOChanged, 13);
}

TEST(VstStrncpy, CopiesBoundedAndAlwaysTerminates) {
    char buffer[8];
    std::memset(buffer, kCanary, sizeof(buffer));
    vst_strncpy(buffer, "abcdefghij", 5);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(static_cast<unsigned char>(buffer[5]), kCanary);

    std::memset(buffer, kCanary, sizeof(buffer));
    vst_strncpy(buffer, "ab", 5);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(static_cast<unsigned char>(buffer[3]), kCanary);

    std::memset(buffer, kCanary, sizeof(buffer));
    vst_strncpy(buffer, "abc", 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(static_cast<unsigned char>(buffer[1]), kCanary);

    std::memset(buffer, kCanary, sizeof(buffer));
    vst_strncpy(buffer, "abc", 0);
    vst_strncpy(buffer, "abc", -3);
    vst_strncpy(nullptr, "abc", 4);
    EXPECT_EQ(static_cast<unsigned char>(buffer[0]), kCanary);
    vst_strncpy(buffer, nullptr, 4);
    EXPECT_EQ(buffer[0], '\0');
}

} // namespace
