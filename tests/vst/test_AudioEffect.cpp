#include "TestEffect.h"
#include "vst/AEffEditor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace {

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
        effect = new TestEffect(nullptr, &log);
        record = effect->getAeffect();
    }
    void TearDown() override {
        if (!log.destroyed) delete effect;
    }

    EffectLog log;
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
    EXPECT_EQ(audioMasterIOChanged, 13);
}

TEST_F(AudioEffectTest, EditorRequestsNeedAnEditorThatGoesWithTheEffect) {
    ERect* rect = nullptr;
    int window = 0;
    for (VstInt32 opcode : {effEditGetRect, effEditOpen, effEditClose, effEditIdle})
        EXPECT_EQ(dispatch(record, opcode, 0, 0, opcode == effEditOpen ? &window : nullptr), 0);
    EXPECT_EQ(dispatch(record, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);

    // A bare editor registers itself, has a rectangle and no window of its own.
    auto* editor = new AEffEditor(effect);
    EXPECT_EQ(record->flags & effFlagsHasEditor, effFlagsHasEditor);
    ASSERT_EQ(dispatch(record, effEditGetRect, 0, 0, &rect), 1);
    EXPECT_NE(rect, nullptr);
    EXPECT_EQ(dispatch(record, effEditOpen, 0, 0, &window), 0);
    EXPECT_TRUE(editor->isOpen());
    EXPECT_EQ(dispatch(record, effEditIdle), 1);
    EXPECT_EQ(dispatch(record, effEditClose), 1);
    EXPECT_FALSE(editor->isOpen());

    // Request 1 calls close, then deletes the effect and with it the editor.
    log.calls.clear();
    EXPECT_EQ(dispatch(record, effClose), 1);
    EXPECT_EQ(log.calls, std::vector<std::string>{"close"});
    EXPECT_TRUE(log.destroyed);
}

TEST_F(AudioEffectTest, RecordEntriesReachTheOperations) {
    record->setParameter(record, 3, 0.25f);
    EXPECT_EQ(effect->values[3], 0.25f);
    EXPECT_EQ(record->getParameter(record, 3), 0.25f);

    float a[4] = {}, b[4] = {};
    float* in[1] = {a};
    float* out[1] = {b};
    record->processReplacing(record, in, out, 4);
    EXPECT_EQ(effect->lastInputs, in);
    EXPECT_EQ(effect->lastOutputs, out);
    record->processReplacing(record, in, out, 0);
    EXPECT_TRUE(log.saw("processReplacing 4") && log.saw("processReplacing 0"));
}

TEST_F(AudioEffectTest, TrampolinesRejectWhatNoHostShouldSend) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    record->setParameter(record, -1, 0.5f);
    record->setParameter(record, 5, 0.5f);
    for (float v : {nan, inf, -inf})
        record->setParameter(record, 1, v);
    EXPECT_EQ(record->getParameter(record, -1), 0.0f);
    EXPECT_EQ(record->getParameter(record, 5), 0.0f);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(effect->values[1], 0.0f);
    // Whatever an operation stores, the host never reads a non-finite value.
    for (float v : {nan, inf}) {
        effect->values[2] = v;
        EXPECT_EQ(record->getParameter(record, 2), 0.0f);
    }
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
    for (float rate : {nan, inf, 0.0f, -48000.0f})
        dispatch(record, effSetSampleRate, 0, 0, nullptr, rate);
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
    log.calls.clear();
    // 2^33 would truncate to program 0 as a 32-bit number.
    for (VstIntPtr value : {VstIntPtr(3), VstIntPtr(-1), VstIntPtr(1) << 33, -(VstIntPtr(1) << 33)})
        dispatch(record, effSetProgram, 0, value);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(dispatch(record, effGetProgram), 2);
}

TEST_F(AudioEffectTest, TextsReachTheHostBoundedAndTerminated) {
    effect->text = std::string(200, 'x');
    const struct {
        VstInt32 opcode, index;
        size_t limit; // characters before the terminator
    } cases[] = {{effGetParamName, 0, 31},          {effGetParamLabel, 1, 31},
                 {effGetParamDisplay, 4, 31},       {effGetProgramName, 0, 23},
                 {effGetProgramNameIndexed, 2, 23}, {effGetEffectName, 0, 31},
                 {effGetVendorString, 0, 63},       {effGetProductString, 0, 63}};
    for (const auto& c : cases) {
        HostBuffer buffer;
        dispatch(record, c.opcode, c.index, 0, buffer.bytes);
        EXPECT_EQ(std::string(buffer.bytes), std::string(c.limit, 'x')) << c.opcode;
        EXPECT_TRUE(buffer.untouchedFrom(c.limit + 1)) << c.opcode;
    }
    // A pin's texts are bounded to their fields; the reserved bytes reach the host as zeros.
    VstPinProperties pin;
    std::memset(&pin, 0x5A, sizeof(pin));
    EXPECT_EQ(dispatch(record, effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_EQ(std::string(pin.label), std::string(63, 'x'));
    EXPECT_EQ(std::string(pin.shortLabel), std::string(7, 'x'));
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(pin.arrangementType, 5);
    for (char c : pin.future)
        EXPECT_EQ(c, 0);
    // A text that fits arrives whole, with nothing written past its terminator.
    effect->text = "abc";
    HostBuffer buffer;
    dispatch(record, effGetParamDisplay, 0, 0, buffer.bytes);
    EXPECT_STREQ(buffer.bytes, "abc");
    EXPECT_TRUE(buffer.untouchedFrom(4));
}

TEST_F(AudioEffectTest, RequestsWithNothingToGiveLeaveTheHostAlone) {
    HostBuffer buffer;
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
        EXPECT_EQ(dispatch(record, opcode, -1, 0, buffer.bytes), 0);
        EXPECT_EQ(dispatch(record, opcode, 5, 0, buffer.bytes), 0);
    }
    EXPECT_EQ(dispatch(record, effGetProgramNameIndexed, -1, 0, buffer.bytes), 0);
    EXPECT_EQ(dispatch(record, effGetProgramNameIndexed, 3, 0, buffer.bytes), 0);
    EXPECT_EQ(dispatch(record, effCanBeAutomated, -1), 0);
    EXPECT_EQ(dispatch(record, effCanBeAutomated, 5), 0);
    // Pins beyond the announced ones (1 input, 2 outputs), or of a kind the effect says nothing
    // about.
    EXPECT_EQ(dispatch(record, effGetOutputProperties, 2, 0, buffer.bytes), 0);
    EXPECT_EQ(dispatch(record, effGetOutputProperties, -1, 0, buffer.bytes), 0);
    EXPECT_EQ(dispatch(record, effGetInputProperties, 0, 0, buffer.bytes), 0);
    effect->answers = false;
    for (VstInt32 opcode : {effGetProgramNameIndexed, effGetEffectName, effGetVendorString,
                            effGetProductString, effGetOutputProperties})
        EXPECT_EQ(dispatch(record, opcode, 1, 0, buffer.bytes), 0) << opcode;
    EXPECT_TRUE(buffer.untouchedFrom(0));

    // Null pointers where a host should have passed a buffer are never used.
    log.calls.clear();
    for (VstInt32 opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
          effGetParamName, effEditGetRect, effGetProgramNameIndexed, effGetEffectName,
          effGetVendorString, effGetProductString, effCanDo, effGetInputProperties,
          effGetOutputProperties})
        EXPECT_EQ(dispatch(record, opcode, 0, 0, nullptr), 0) << opcode;
    EXPECT_TRUE(log.calls.empty());
}

// Requests 23 and 24 reach an effect that announced chunks, and only with what they need.
TEST_F(AudioEffectTest, ChunkRequestsNeedTheFlagAndTheirPointers) {
    void* data = &log;
    char bytes[] = "bank bytes";
    EXPECT_EQ(dispatch(record, effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, &log);
    EXPECT_EQ(dispatch(record, effSetChunk, 0, 4, bytes), 0);
    EXPECT_TRUE(log.calls.empty());

    effect->programsAreChunks(true);
    EXPECT_EQ(record->flags & effFlagsProgramChunks, effFlagsProgramChunks);
    EXPECT_EQ(dispatch(record, effGetChunk, 0, 0, &data), 5);
    EXPECT_EQ(std::string(static_cast<const char*>(data), 5), "state");
    EXPECT_EQ(dispatch(record, effGetChunk, 1, 0, &data), 5);
    EXPECT_EQ(dispatch(record, effSetChunk, 0, 4, bytes), 1);
    EXPECT_EQ(dispatch(record, effSetChunk, 1, 10, bytes), 1);
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"getChunk bank", "getChunk program", "setChunk bank bank",
                                        "setChunk program " + std::string(bytes)}));
    // No address to fill, no bytes, a byte count no buffer has: nothing is called.
    log.calls.clear();
    EXPECT_EQ(dispatch(record, effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(record, effSetChunk, 0, 4, nullptr), 0);
    EXPECT_EQ(dispatch(record, effSetChunk, 0, -1, bytes), 0);
    EXPECT_EQ(dispatch(record, effSetChunk, 0, static_cast<VstIntPtr>(INT32_MAX) + 1, bytes), 0);
    EXPECT_TRUE(log.calls.empty());
    // An effect with nothing to give hands the host no address; one that declines answers 0.
    effect->chunk.clear();
    EXPECT_EQ(dispatch(record, effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
    effect->chunkAnswer = 0;
    EXPECT_EQ(dispatch(record, effSetChunk, 0, 4, bytes), 0);
}

TEST_F(AudioEffectTest, HostTextsAreReadBounded) {
    // Host texts placed right before an unreadable page: reading one byte too many faults.
    const long page = sysconf(_SC_PAGESIZE);
    void* memory =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    char* end = static_cast<char*>(memory) + page;
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);

    // Of a program name without a terminator, 23 characters are all we ever read.
    std::memset(end - 100, 'm', 100);
    dispatch(record, effSetProgramName, 0, 0, end - 100);
    EXPECT_TRUE(log.saw("setProgramName " + std::string(23, 'm')));
    std::memset(end - 23, 'n', 23);
    dispatch(record, effSetProgramName, 0, 0, end - 23);
    EXPECT_TRUE(log.saw("setProgramName " + std::string(23, 'n')));
    const size_t queryLength = AudioEffect::kScratchSize - 1;
    std::memset(end - queryLength, 'q', queryLength);
    dispatch(record, effCanDo, 0, 0, end - queryLength);
    EXPECT_TRUE(log.saw("canDo " + std::string(queryLength, 'q')));
    munmap(memory, 2 * page);
}

TEST(VstStrncpy, CopiesBoundedAndAlwaysTerminates) {
    const struct {
        const char* source;
        int size;
        const char* copied; // null: the buffer stays untouched
    } cases[] = {{"abcdefghij", 5, "abcd"}, {"ab", 5, "ab"},      {"abc", 1, ""},
                 {"abc", 0, nullptr},       {"abc", -3, nullptr}, {nullptr, 4, ""}};
    for (const auto& c : cases) {
        HostBuffer buffer;
        vst_strncpy(buffer.bytes, c.source, c.size);
        if (c.copied == nullptr) {
            EXPECT_TRUE(buffer.untouchedFrom(0)) << c.size;
            continue;
        }
        EXPECT_STREQ(buffer.bytes, c.copied);
        EXPECT_TRUE(buffer.untouchedFrom(std::strlen(c.copied) + 1)) << c.size;
    }
    vst_strncpy(nullptr, "abc", 4);
}

} // namespace
