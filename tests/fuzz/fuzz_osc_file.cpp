// libFuzzer target: any bytes as an OSC calibration file. The reader must stay inside its buffers,
// hand out terminated strings and end the reading within one message per 8 bytes.

#include "calibration/OSCFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A memory stream over the input; "r" never writes into it.
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (stream == nullptr) return 0;
    COSCFile reader;
    if (!reader.attachFile(stream)) return 0;
    size_t packets = 0;
    volatile unsigned sink = 0;
    while (reader.readNextPacket()) {
        ++packets;
        if (packets > size / 8) __builtin_trap();
        if (strnlen(reader.getPacketAddress(), COSCFile::kMaxStringLength) >=
            static_cast<size_t>(COSCFile::kMaxStringLength))
            __builtin_trap();
        const short count = reader.getNumValues();
        if (count < 0 || count > COSCFile::kMaxValues) __builtin_trap();
        for (short i = -2; i < COSCFile::kMaxValues + 2; ++i) {
            const char tag = reader.getValueType(i);
            if ((i < 0 || i >= count) && tag != 0) __builtin_trap();
            sink = sink + static_cast<unsigned>(tag) + static_cast<unsigned>(reader.getIntValue(i));
            const float f = reader.getFloatValue(i);
            if (f == f) sink = sink + 1u; // touches the value without failing on NaN payloads
            if (strnlen(reader.getStringValue(i), COSCFile::kMaxStringLength) >=
                static_cast<size_t>(COSCFile::kMaxStringLength))
                __builtin_trap();
        }
    }
    // Finished stays finished.
    if (reader.readNextPacket()) __builtin_trap();
    return 0;
}
