// The host-interface layer's own duties, with an effect that records what reaches it: what the
// plug-in cannot provoke through the shared object (over-long texts, unterminated host texts, bad
// chunk pointers). Its request table, texts, parameters and chunks are checked through the shared
// object by the integration suite and the fuzzer of the record.

#include "integration/VstHost.h"
#include "vst/AudioEffectX.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// An effect of 3 programs and 5 parameters whose operations note their calls and answer `text`.
struct TestEffect : AudioEffectX {
    explicit TestEffect(std::vector<std::string>* log) : AudioEffectX(nullptr, 3, 5), log(log) {}
    void setProgramName(char* name) override {
        log->push_back("setProgramName " + std::string(name));
    }
    void getProgramName(char* name) override { give(name); }
    void getParameterLabel(VstInt32, char* label) override { give(label); }
    void getParameterDisplay(VstInt32, char* text) override { give(text); }
    void getParameterName(VstInt32, char* name) override { give(name); }
    bool getProgramNameIndexed(VstInt32, VstInt32, char* name) override { return give(name); }
    bool getEffectName(char* name) override { return give(name); }
    bool getVendorString(char* text) override { return give(text); }
    bool getProductString(char* text) override { return give(text); }
    // Fills both texts to the last byte, with no terminator: the dispatcher must bound them.
    bool getOutputProperties(VstInt32, VstPinProperties* pin) override {
        for (size_t i = 0; i < sizeof(pin->label); ++i)
            pin->label[i] = pin->shortLabel[i % sizeof(pin->shortLabel)] = text[i % text.size()];
        pin->flags = kVstPinIsActive | kVstPinIsStereo;
        pin->arrangementType = 5;
        std::fill(pin->future, pin->future + sizeof(pin->future), 'f');
        return true;
    }
    VstInt32 canDo(char* query) override {
        log->push_back("canDo " + std::string(query));
        return 0;
    }
    VstInt32 getChunk(void** data, bool isPreset) override {
        log->push_back(isPreset ? "getChunk program" : "getChunk bank");
        *data = chunk.empty() ? nullptr : &chunk[0];
        return static_cast<VstInt32>(chunk.size());
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
        log->push_back(std::string(isPreset ? "setChunk program " : "setChunk bank ") +
                       std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
        return 1;
    }
    bool give(char* destination) {
        destination[text.copy(destination, text.size())] = '\0';
        return true;
    }
    std::string text = "text", chunk = "state";
    std::vector<std::string>* log;
};

using vsthost::HostBuffer;

class AudioEffectTest : public ::testing::Test {
protected:
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr) {
        return record->dispatcher(record, opcode, index, value, ptr, 0.0f);
    }
    std::vector<std::string> log;
    TestEffect effect{&log};
    AEffect* record = effect.getAeffect();
};

// Each text request copies at most its size, terminated, whatever the operation wrote.
TEST_F(AudioEffectTest, TextsReachTheHostBoundedAndTerminated) {
    effect.text = std::string(200, 'x');
    const struct {
        VstInt32 opcode;
        size_t limit; // characters before the terminator
    } cases[] = {{effGetParamName, 31},    {effGetParamLabel, 31},         {effGetParamDisplay, 31},
                 {effGetProgramName, 23},  {effGetProgramNameIndexed, 23}, {effGetEffectName, 31},
                 {effGetVendorString, 63}, {effGetProductString, 63}};
    for (const auto& c : cases) {
        HostBuffer buffer;
        dispatch(c.opcode, 1, 0, buffer.bytes);
        EXPECT_EQ(std::string(buffer.bytes), std::string(c.limit, 'x')) << c.opcode;
        EXPECT_TRUE(buffer.untouchedFrom(c.limit + 1)) << c.opcode;
    }
    // A pin's texts are bounded to their fields; the reserved bytes reach the host as zeros.
    VstPinProperties pin;
    std::memset(&pin, 0x5A, sizeof(pin));
    EXPECT_EQ(dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_EQ(std::string(pin.label), std::string(63, 'x'));
    EXPECT_EQ(std::string(pin.shortLabel), std::string(7, 'x'));
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(pin.arrangementType, 5);
    EXPECT_EQ(std::string(pin.future, sizeof(pin.future)), std::string(sizeof(pin.future), '\0'));
}

// Texts from the host placed right before an unreadable page: reading one byte too many faults.
TEST_F(AudioEffectTest, HostTextsAreReadBounded) {
    const long page = sysconf(_SC_PAGESIZE);
    void* memory =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    char* end = static_cast<char*>(memory) + page;
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
    std::memset(end - 100, 'm', 100); // no terminator: 23 characters are all we ever read
    dispatch(effSetProgramName, 0, 0, end - 100);
    const size_t query = AudioEffect::kScratchSize - 1;
    std::memset(end - query, 'q', query);
    dispatch(effCanDo, 0, 0, end - query);
    EXPECT_EQ(log, (std::vector<std::string>{"setProgramName " + std::string(23, 'm'),
                                             "canDo " + std::string(query, 'q')}));
    munmap(memory, 2 * page);
}

// Requests 23 and 24 reach the effect only with what they need (what they pass on is checked
// through the shared object by the integration suite).
TEST_F(AudioEffectTest, ChunkRequestsNeedTheFlagAndTheirPointers) {
    void* data = &log;
    char bytes[] = "bank bytes";
    effect.programsAreChunks(true);
    // No address to fill, no bytes, a byte count no buffer has: nothing is called.
    EXPECT_EQ(dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, 4, nullptr), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, -1, bytes), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, static_cast<VstIntPtr>(INT32_MAX) + 1, bytes), 0);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(dispatch(effSetChunk, 1, 10, bytes), 1);
    EXPECT_EQ(log, std::vector<std::string>{"setChunk program bank bytes"});
    // An effect with nothing to give hands the host no address.
    effect.chunk.clear();
    EXPECT_EQ(dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
}

} // namespace
