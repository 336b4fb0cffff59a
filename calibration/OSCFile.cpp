#include "calibration/OSCFile.h"

#include <cstring>

namespace {

enum class ChunkEnd { Terminated, Failed, OutOfSize };

// Reads 4-byte chunks of an OSC string into the buffer, keeping what fits and always leaving it
// terminated. With a budget, reading also stops when the budget (the message's remaining size)
// runs out; each chunk lowers it by 4, down to 0.
ChunkEnd readChunks(FILE* file, char* buffer, size_t bufferSize, uint32_t* budget, int* attempts) {
    size_t stored = 0;
    ChunkEnd end = ChunkEnd::Terminated;
    for (;;) {
        unsigned char chunk[4];
        const size_t got = std::fread(chunk, 1, sizeof(chunk), file);
        ++*attempts;
        for (size_t k = 0; k < got && stored < bufferSize; ++k)
            buffer[stored++] = static_cast<char>(chunk[k]);
        if (budget != nullptr) *budget = *budget > 4 ? *budget - 4 : 0;
        if (got != sizeof(chunk)) {
            end = ChunkEnd::Failed;
            break;
        }
        if (chunk[3] == 0) break;
        if (budget != nullptr && *budget == 0) {
            end = ChunkEnd::OutOfSize;
            break;
        }
    }
    if (bufferSize > 0 && std::memchr(buffer, 0, stored) == nullptr)
        buffer[stored < bufferSize ? stored : bufferSize - 1] = '\0';
    return end;
}

// Sizes of the argument types of OSC 1.0 and 1.1 that this reader does not decode; -1 for a
// string, -2 for a blob, -3 for a tag of unknown size.
int otherArgumentSize(char tag) {
    switch (tag) {
    case 'c':
    case 'r':
    case 'm':
        return 4;
    case 'h':
    case 't':
    case 'd':
        return 8;
    case 'T':
    case 'F':
    case 'N':
    case 'I':
    case '[':
    case ']':
        return 0;
    case 'S':
        return -1;
    case 'b':
        return -2;
    default:
        return -3;
    }
}

} // namespace

int readOSCString(FILE* file, char* buffer, size_t bufferSize) {
    int attempts = 0;
    readChunks(file, buffer, bufferSize, nullptr, &attempts);
    return 4 * attempts;
}

int readOSCString(FILE* file, char* buffer) {
    return readOSCString(file, buffer, COSCFile::kMaxStringLength);
}

void swapEndian(unsigned char* word) {
    const uint32_t value = (static_cast<uint32_t>(word[0]) << 24) |
                           (static_cast<uint32_t>(word[1]) << 16) |
                           (static_cast<uint32_t>(word[2]) << 8) | static_cast<uint32_t>(word[3]);
    std::memcpy(word, &value, sizeof(value));
}

COSCFile::COSCFile()
    : file(nullptr), packetSize(0), address(), typeTags(), intValues(), floatValues(),
      stringValues(), noString(), finished(false), cleanEnd(false), cutShort(false) {}

COSCFile::~COSCFile() {
    if (file != nullptr) std::fclose(file);
}

bool COSCFile::openFile(const char* path) {
    if (path == nullptr) return false;
    return attachFile(std::fopen(path, "rb"));
}

bool COSCFile::attachFile(FILE* stream) {
    if (file != nullptr) std::fclose(file);
    file = stream;
    finished = false;
    cleanEnd = false;
    cutShort = false;
    return file != nullptr;
}

void COSCFile::consume(uint32_t count) {
    packetSize = packetSize > count ? packetSize - count : 0;
}

bool COSCFile::readWord(unsigned char* word) {
    return std::fread(word, 1, 4, file) == 4;
}

bool COSCFile::skipBytes(uint32_t count) {
    unsigned char scratch[256];
    while (count > 0) {
        const size_t want = count < sizeof(scratch) ? count : sizeof(scratch);
        const size_t got = std::fread(scratch, 1, want, file);
        consume(static_cast<uint32_t>(got));
        if (got != want) return false;
        count -= static_cast<uint32_t>(got);
    }
    return true;
}

bool COSCFile::readString(char* buffer, size_t bufferSize) {
    int attempts = 0;
    return readChunks(file, buffer, bufferSize, &packetSize, &attempts) == ChunkEnd::Terminated;
}

// Skips one argument of a type this reader does not decode. An argument of unknown size takes the
// rest of the message with it.
COSCFile::Skip COSCFile::skipArgument(char tag) {
    const int size = otherArgumentSize(tag);
    if (size >= 0) return skipBytes(static_cast<uint32_t>(size)) ? Skip::Done : Skip::CutOff;
    if (size == -1) {
        char scratch[4];
        int attempts = 0;
        if (readChunks(file, scratch, sizeof(scratch), nullptr, &attempts) == ChunkEnd::Failed)
            cutShort = true;
        consume(static_cast<uint32_t>(4 * attempts));
        return Skip::Done;
    }
    if (size == -2) {
        unsigned char word[4];
        if (!readWord(word)) return Skip::CutOff;
        consume(4);
        swapEndian(word);
        uint32_t length;
        std::memcpy(&length, word, sizeof(length));
        // A blob longer than what is left of its message is not one.
        if (length > packetSize) return Skip::CutOff;
        const uint32_t padding = (4u - length % 4u) % 4u;
        return skipBytes(length) && skipBytes(padding) ? Skip::Done : Skip::CutOff;
    }
    skipBytes(packetSize);
    return Skip::RestOfMessage;
}

bool COSCFile::readNextPacket() {
    if (file == nullptr || finished) return false;
    finished = !readMessage();
    return !finished;
}

bool COSCFile::readMessage() {
    unsigned char sizeWord[4];
    const size_t got = std::fread(sizeWord, 1, sizeof(sizeWord), file);
    if (got != sizeof(sizeWord)) {
        cleanEnd = got == 0 && std::ferror(file) == 0 && !cutShort;
        return false;
    }
    swapEndian(sizeWord);
    std::memcpy(&packetSize, sizeWord, sizeof(packetSize));
    // A size of 0 frames not even an address.
    if (packetSize == 0) return false;

    if (!readString(address, sizeof(address)) || address[0] != '/') return false;

    // No type-tag string within the size: a message without arguments, never the previous tags.
    if (packetSize == 0) {
        typeTags[0] = ',';
        typeTags[1] = '\0';
        return true;
    }
    if (!readString(typeTags, sizeof(typeTags)) || typeTags[0] != ',') return false;

    const int tagCount = static_cast<int>(std::strlen(typeTags)) - 1;
    for (int i = 0; i < tagCount; ++i) {
        if (i >= kMaxValues) {
            // Nowhere to keep them: the size carries the reading past them.
            skipBytes(packetSize);
            break;
        }
        const char tag = typeTags[1 + i];
        if (tag == 'f' || tag == 'i') {
            unsigned char* word = tag == 'f' ? reinterpret_cast<unsigned char*>(&floatValues[i])
                                             : reinterpret_cast<unsigned char*>(&intValues[i]);
            if (!readWord(word)) return false;
            swapEndian(word);
            consume(4);
        } else if (tag == 's') {
            // A string cut by the end of the file completes its message, but the file is cut.
            int attempts = 0;
            if (readChunks(file, stringValues[i], kMaxStringLength, nullptr, &attempts) ==
                ChunkEnd::Failed)
                cutShort = true;
            consume(static_cast<uint32_t>(4 * attempts));
        } else {
            const Skip skipped = skipArgument(tag);
            if (skipped == Skip::CutOff) return false;
            if (skipped == Skip::RestOfMessage) break;
        }
    }
    // Whatever the size still claims belongs to this message, not to the next one.
    if (!skipBytes(packetSize)) cutShort = true;
    return true;
}

short COSCFile::getNumValues() {
    const size_t length = std::strlen(typeTags);
    if (length <= 1) return 0;
    return static_cast<short>(length - 1 < kMaxValues ? length - 1 : kMaxValues);
}

char COSCFile::getValueType(short i) {
    if (i < 0 || i >= getNumValues()) return 0;
    return typeTags[1 + i];
}

char* COSCFile::getPacketAddress() {
    if (address[0] != '/') {
        noString[0] = '\0';
        return noString;
    }
    return address + 1;
}

int COSCFile::getIntValue(short i) {
    if (i < 0 || i >= kMaxValues) return 0;
    return intValues[i];
}

float COSCFile::getFloatValue(short i) {
    if (i < 0 || i >= kMaxValues) return 0.0f;
    return floatValues[i];
}

char* COSCFile::getStringValue(short i) {
    if (i < 0 || i >= kMaxValues) {
        noString[0] = '\0';
        return noString;
    }
    return stringValues[i];
}
