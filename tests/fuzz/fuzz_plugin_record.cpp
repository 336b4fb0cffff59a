// libFuzzer target: the processor driven only through its host record, as a host would, by a
// sequence of requests decoded from the input: any dispatcher request 0..70 (never "close" before
// the end, never "open the editor", which needs a window), parameter sets and gets, and audio
// blocks of 0..4096 frames with finite input. Indices, values and the float argument include
// negative, huge, NaN and infinite ones; pointers are null or point at buffers as large as hosts
// give. The chunk requests get what a host passes: the address to fill, or the bytes of the last
// chunk read (a few of them changed) with their count. Checked after every request: every output
// sample and parameter value is finite, a chunk's bytes are readable, and a text is terminated
// within the size its request allows, with nothing written beyond it (a pin record: its two texts
// terminated within their fields, nothing beyond its 128 bytes).

#include "core/XeTetra.h"
#include "tests/support/SampleCalibrations.h"
#include "tests/support/TempDirectory.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kMaxFrames = 4096;
constexpr int kTextBuffer = 256;
constexpr unsigned char kUntouched = 0xa5;
// Every correction-set design costs about a millisecond, so a run changes the rate a few times
// only, and processes a bounded number of frames.
constexpr int kMaxRateChanges = 3;
constexpr long kMaxFramesPerRun = 1 << 14;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == 1 ? 2400 : 0; // version; everything else unanswered
}

// A calibrations directory with one text calibration (IIR coefficients for 44.1 and 48 kHz) and
// one tetraproc calibration, so that programs 2 and 3 bring sets of their own.
std::string calibrations() {
    static const TempDirectory root;
    samplecal::TextCalibration text;
    text.name = "Mic7";
    samplecal::writeTextCalibration(root.path(), text);
    samplecal::writeTetraCalibration(root.path(), "Mic8", tetrafile::mic1234Calibration());
    return root.path();
}

// The size a text request may write into, terminator included; 0 when it writes no text.
int textSize(VstInt32 opcode) {
    static const VstInt32 sizes[][2] = {{effGetProgramName, 24},  {effGetProgramNameIndexed, 24},
                                        {effGetParamLabel, 32},   {effGetParamDisplay, 32},
                                        {effGetParamName, 32},    {effGetEffectName, 32},
                                        {effGetVendorString, 64}, {effGetProductString, 64}};
    for (const auto& size : sizes)
        if (size[0] == opcode) return size[1];
    return 0;
}

// One byte picks most values: small numbers around the valid range, or one of the extremes.
// Inputs stay short, so every byte should count.
VstInt32 pickIndex(FuzzedDataProvider& in) {
    static const VstInt32 extremes[] = {INT_MIN, INT_MIN + 1, -1000, 1000, 65536, INT_MAX};
    const int b = in.ConsumeIntegral<uint8_t>();
    return b < 250 ? b - 8 : extremes[b - 250];
}

VstIntPtr pickValue(FuzzedDataProvider& in) {
    static const VstIntPtr extremes[] = {INTPTR_MIN, -1000, VstIntPtr(INT_MAX) + 1, INT_MAX,
                                         INTPTR_MAX};
    const int b = in.ConsumeIntegral<uint8_t>();
    if (b == 255) return in.ConsumeIntegral<VstIntPtr>();
    return b < 250 ? b - 8 : extremes[b - 250];
}

float pickFloat(FuzzedDataProvider& in) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    static const float special[] = {0.0f,   -0.0f,    0.5f,     1.0f,     -1.0f, 1.0001f,
                                    1e-38f, 1e-45f,   3.4e38f,  -3.4e38f, NAN,   inf,
                                    -inf,   44100.0f, 48000.0f, 96000.0f};
    const int b = in.ConsumeIntegral<uint8_t>();
    if (b == 255) return in.ConsumeFloatingPoint<float>();
    return b < 16 ? special[b] : static_cast<float>(b - 16) / 128.0f - 0.25f; // 0..1 and beyond
}

// Mostly a parameter's index, sometimes one just past the table or anything else.
VstInt32 pickParameter(FuzzedDataProvider& in) {
    const int b = in.ConsumeIntegral<uint8_t>();
    return b < 235 ? b % (kNumParams + 1) : pickIndex(in);
}

// Mostly the requests the processor serves; now and then any other.
VstInt32 pickOpcode(FuzzedDataProvider& in) {
    // The request table (program, parameter texts, rate, block size, switch, editor, can be
    // automated, names, pins, category, vendor strings, can do, version, chunks), close and the
    // editor's open aside.
    static const VstInt32 served[] = {0,  2,  3,  4,  5,  6,  7,  8,  10, 11, 12, 13, 15, 19,
                                      23, 24, 26, 29, 33, 34, 35, 45, 47, 48, 49, 51, 58};
    const int b = in.ConsumeIntegral<uint8_t>();
    constexpr int kServed = static_cast<int>(sizeof(served) / sizeof(served[0]));
    return b < 4 * kServed ? served[b % kServed] : b % 71;
}

// A request that writes no text leaves the buffer alone; one that does terminates it within its
// size and writes nothing beyond.
void checkText(const unsigned char* buffer, int size) {
    int last = -1;
    for (int i = 0; i < kTextBuffer; ++i)
        last = buffer[i] != kUntouched ? i : last;
    if (last >= 0 && (last >= size || std::memchr(buffer, 0, static_cast<size_t>(size)) == nullptr))
        __builtin_trap();
}

// A pin record given (answer 1) fills its 128 bytes with both texts terminated; otherwise the
// buffer is left alone.
void checkPin(const unsigned char* buffer, VstIntPtr answer) {
    const size_t filled = answer == 1 ? sizeof(VstPinProperties) : 0;
    for (size_t i = filled; i < static_cast<size_t>(kTextBuffer); ++i)
        if (buffer[i] != kUntouched) __builtin_trap();
    VstPinProperties pin;
    std::memcpy(&pin, buffer, sizeof(pin));
    if (filled != 0 && (std::memchr(pin.label, 0, sizeof(pin.label)) == nullptr ||
                        std::memchr(pin.shortLabel, 0, sizeof(pin.shortLabel)) == nullptr))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string root = calibrations();
    static float audio[2][4][kMaxFrames];
    FuzzedDataProvider in(data, size);
    AXeTetra* processor = new AXeTetra(hostCallback, CCalibrationPaths::only(root));
    AEffect* effect = processor->getAeffect();
    int rateChanges = 0;
    long frames = 0;
    std::vector<uint8_t> chunk;
    uint32_t noise = 1;
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: {
            VstInt32 opcode = pickOpcode(in);
            if (opcode == effClose || opcode == effEditOpen ||
                (opcode == effSetSampleRate && ++rateChanges > kMaxRateChanges))
                opcode = effGetProgram;
            const VstInt32 index = pickIndex(in);
            const VstIntPtr value = pickValue(in);
            const float opt = pickFloat(in);
            if (opcode == effGetChunk) {
                void* bytes = nullptr;
                const VstIntPtr count =
                    effect->dispatcher(effect, opcode, index, value, &bytes, opt);
                if (count < 0 || (count > 0 && bytes == nullptr)) __builtin_trap();
                if (count > 0)
                    chunk.assign(static_cast<uint8_t*>(bytes),
                                 static_cast<uint8_t*>(bytes) + count);
                break;
            }
            if (opcode == effSetChunk) {
                std::vector<uint8_t> bytes = chunk;
                for (int changes = in.ConsumeIntegralInRange<int>(0, 3);
                     changes > 0 && !bytes.empty(); --changes)
                    bytes[in.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1)] =
                        in.ConsumeIntegral<uint8_t>();
                if (!bytes.empty() && in.ConsumeBool())
                    bytes.resize(in.ConsumeIntegralInRange<size_t>(0, bytes.size()));
                effect->dispatcher(effect, opcode, index, static_cast<VstIntPtr>(bytes.size()),
                                   bytes.empty() ? nullptr : bytes.data(), opt);
                break;
            }
            unsigned char buffer[kTextBuffer];
            std::memset(buffer, kUntouched, sizeof(buffer));
            ERect* rect = nullptr;
            void* ptr = nullptr;
            const bool takesText = opcode == effSetProgramName || opcode == effCanDo;
            if (opcode == effEditGetRect) {
                ptr = in.ConsumeBool() ? &rect : nullptr;
            } else if (takesText) {
                const std::string text = in.ConsumeRandomLengthString(kTextBuffer - 1);
                std::memcpy(buffer, text.c_str(), text.size() + 1);
                ptr = in.ConsumeBool() ? buffer : nullptr;
            } else if (in.ConsumeIntegral<uint8_t>() % 8 != 0) {
                ptr = buffer;
            }
            const VstIntPtr answer = effect->dispatcher(effect, opcode, index, value, ptr, opt);
            if (ptr == buffer &&
                (opcode == effGetInputProperties || opcode == effGetOutputProperties))
                checkPin(buffer, answer);
            else if (ptr == buffer && !takesText)
                checkText(buffer, textSize(opcode));
            break;
        }
        case 1:
            effect->setParameter(effect, pickParameter(in), pickFloat(in));
            break;
        case 2:
            if (!std::isfinite(effect->getParameter(effect, pickParameter(in)))) __builtin_trap();
            break;
        default: {
            int n = in.ConsumeIntegralInRange<int>(0, kMaxFrames);
            n = frames + n > kMaxFramesPerRun ? 0 : n;
            frames += n;
            const int shape = in.ConsumeIntegral<uint8_t>();
            const bool inPlace = (shape & 1) != 0;
            static const float levels[] = {0.0f, 1e-30f, 1.0f, 1000.0f, 3e38f, 0.25f, 1e-5f, 1e10f};
            const float level = levels[(shape >> 1) & 7];
            float* inputs[4];
            float* outputs[4];
            noise ^= static_cast<uint32_t>(shape) << 8;
            for (int c = 0; c < 4; ++c) {
                outputs[c] = audio[1][c];
                inputs[c] = inPlace ? audio[1][c] : audio[0][c];
                for (int i = 0; i < n; ++i) {
                    noise = noise * 1664525u + 1013904223u;
                    inputs[c][i] = level * (static_cast<float>(noise >> 8) / 8388608.0f - 1.0f);
                }
            }
            effect->processReplacing(effect, inputs, outputs, n);
            for (int c = 0; c < 4; ++c)
                for (int i = 0; i < n; ++i)
                    if (!std::isfinite(outputs[c][i])) __builtin_trap();
            break;
        }
        }
    }
    for (VstInt32 index = 0; index < effect->numParams; ++index)
        if (!std::isfinite(effect->getParameter(effect, index))) __builtin_trap();
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
