#include "core/ProgramChunk.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

void put32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void putText(std::vector<uint8_t>& bytes, const char* text, size_t maxLength) {
    const size_t length = strnlen(text, maxLength);
    put32(bytes, static_cast<uint32_t>(length));
    bytes.insert(bytes.end(), text, text + length);
}

// Reads the chunk front to back; every read is checked against what is left.
class CChunkReader {
public:
    CChunkReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    size_t remaining() const { return size - at; }
    bool get32(uint32_t& value) {
        if (remaining() < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(data[at + i]) << (8 * i);
        at += 4;
        return true;
    }
    bool getFloat(float& value) {
        uint32_t word;
        if (!get32(word)) return false;
        std::memcpy(&value, &word, sizeof(value));
        return true;
    }
    // A length-prefixed text of at most maxLength bytes, none of them NUL. `problem` is set when
    // the text is there but not acceptable.
    bool getText(size_t maxLength, std::string& text, const char*& problem) {
        uint32_t length;
        if (!get32(length)) return false;
        if (length > maxLength) {
            problem = "is too long";
            return false;
        }
        if (remaining() < length) return false;
        const char* begin = reinterpret_cast<const char*>(data + at);
        if (std::memchr(begin, '\0', length) != nullptr) {
            problem = "holds a NUL byte";
            return false;
        }
        text.assign(begin, length);
        at += length;
        return true;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char text[160];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof(text), pattern, arguments);
    va_end(arguments);
    return text;
}

} // namespace

void CProgramChunk::write(std::vector<uint8_t>& bytes) const {
    bytes.assign(kMagic, kMagic + 4);
    put32(bytes, kVersion);
    put32(bytes, static_cast<uint32_t>(kind));
    put32(bytes, static_cast<uint32_t>(entries.size()));
    put32(bytes, static_cast<uint32_t>(currentProgram));
    put32(bytes, kNumParams);
    for (const CEntry& entry : entries) {
        putText(bytes, entry.program.name, AXeTetraProgram::kMaxNameLength);
        for (float value : entry.program.values) {
            if (!std::isfinite(value)) value = 0.0f;
            uint32_t word;
            std::memcpy(&word, &value, sizeof(word));
            put32(bytes, word);
        }
        putText(bytes, entry.postMatrixSet.c_str(), kMaxSetNameLength);
    }
}

bool CProgramChunk::read(const void* data, size_t size, std::string& error) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (bytes == nullptr || size == 0) {
        error = "it is empty";
        return false;
    }
    const std::string cut = format("it ends early, after %ld bytes", static_cast<long>(size));
    if (std::memcmp(bytes, kMagic, size < 4 ? size : 4) != 0) {
        error = "it is not XeTetraVST state";
        return false;
    }
    CChunkReader in(bytes, size);
    uint32_t magic, version, kindValue, count, current, valueCount;
    if (!in.get32(magic) || !in.get32(version)) {
        error = cut;
        return false;
    }
    if (version == 0) {
        error = "its format version is 0, which was never written";
        return false;
    }
    if (version > kVersion) {
        error = format("it comes from a newer XeTetraVST (format %ld; this one reads up to %ld)",
                       static_cast<long>(version), static_cast<long>(kVersion));
        return false;
    }
    // Version 1 is the only layout so far. A later version adds its own branch from here on and
    // keeps this one, so that every earlier chunk stays readable.
    if (!in.get32(kindValue) || !in.get32(count) || !in.get32(current) || !in.get32(valueCount)) {
        error = cut;
        return false;
    }
    if (kindValue != kBank && kindValue != kProgram) {
        error = format("its kind %ld is neither a bank (0) nor a program (1)",
                       static_cast<long>(kindValue));
        return false;
    }
    const uint32_t expectedCount = kindValue == kBank ? kNumPrograms : 1;
    if (count != expectedCount) {
        error = format(kindValue == kBank ? "it holds %ld programs where a bank has %ld"
                                          : "it holds %ld programs where a program chunk has %ld",
                       static_cast<long>(count), static_cast<long>(expectedCount));
        return false;
    }
    if (current >= static_cast<uint32_t>(kNumPrograms)) {
        error = format("its current program %ld is not one of 0 to %ld", static_cast<long>(current),
                       static_cast<long>(kNumPrograms - 1));
        return false;
    }
    if (valueCount < kVersion1Values) {
        error = format("it holds %ld values per program, fewer than the %ld every chunk has",
                       static_cast<long>(valueCount), static_cast<long>(kVersion1Values));
        return false;
    }
    if (valueCount > static_cast<uint32_t>(kNumParams)) {
        error = format("it holds %ld values per program, more than the %ld this XeTetraVST knows:"
                       " it comes from a newer one",
                       static_cast<long>(valueCount), static_cast<long>(kNumParams));
        return false;
    }

    std::vector<CEntry> decoded(count);
    for (uint32_t p = 0; p < count; ++p) {
        CEntry& entry = decoded[p];
        std::string name;
        const char* problem = nullptr;
        if (!in.getText(AXeTetraProgram::kMaxNameLength, name, problem)) {
            error = problem != nullptr
                        ? format("the name of program %ld ", static_cast<long>(p)) + problem
                        : cut;
            return false;
        }
        entry.program.setName(name.c_str());
        for (uint32_t slot = 0; slot < valueCount; ++slot) {
            float value;
            if (!in.getFloat(value)) {
                error = cut;
                return false;
            }
            if (!std::isfinite(value)) {
                error = format("program %ld holds a value that is not a number (slot %ld)",
                               static_cast<long>(p), static_cast<long>(slot));
                return false;
            }
            entry.program.values[slot] = value;
        }
        if (!in.getText(kMaxSetNameLength, entry.postMatrixSet, problem)) {
            error = problem != nullptr
                        ? format("the post-matrix set name of program %ld ", static_cast<long>(p)) +
                              problem
                        : cut;
            return false;
        }
    }
    if (in.remaining() != 0) {
        error = format("%ld bytes follow its last program", static_cast<long>(in.remaining()));
        return false;
    }

    kind = static_cast<Kind>(kindValue);
    currentProgram = static_cast<int>(current);
    entries = std::move(decoded);
    return true;
}
