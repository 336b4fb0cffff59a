#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Reads a file of size-prefixed OSC 1.0 messages, one message at a time, as tetraproc writes its
// calibrations: plain messages (no bundles) with "i", "f" and "s" arguments.
//
// Where files are broken, the reader stays inside its buffers and always ends:
// - an address, type-tag string or string argument longer than its buffer is read to its end, to
//   stay in step with the file, and kept cut to what fits, zero-terminated;
// - a string that the message's size cuts off before its terminator makes the message malformed;
// - arguments past the 32nd are skipped by the message's size and not stored;
// - a packet size of 0 frames no address, so it is malformed;
// - a message whose size ends right after its address has no arguments;
// - arguments of the other standard OSC types are skipped by their own sizes; an unknown tag
//   makes the rest of the message be skipped by its size;
// - bytes that the size says belong to the message but its arguments did not use are skipped, so
//   the next message is read from where its size prefix is (a well-formed file has none).
// Every read consumes file content, so any file ends the reading in a bounded number of steps.
class COSCFile {
public:
    static constexpr int kMaxValues = 32;
    static constexpr int kMaxStringLength = 1024; // address and string buffers, terminator included
    static constexpr int kMaxTypeTagsLength = 36; // "," plus 34 tags plus the terminator

    COSCFile();
    virtual ~COSCFile();
    COSCFile(const COSCFile&) = delete;
    COSCFile& operator=(const COSCFile&) = delete;

    // Opens the file in binary mode; an earlier file of this reader is closed first.
    bool openFile(const char* path);
    // Reads from a stream the caller opened (a memory stream, say); the reader closes it.
    bool attachFile(FILE* stream);

    // Reads the next message into the members; false at the end of the file or on a malformed
    // or cut-off message, and from then on, until another file is opened.
    bool readNextPacket();
    // After readNextPacket answered false: whether the file simply ended where a message would
    // have begun, rather than in or at a malformed message.
    bool endedCleanly() const { return cleanEnd; }

    // The arguments held: the tags after the ",", at most kMaxValues.
    short getNumValues();
    // The tag of argument i; 0 for a position the message does not hold.
    char getValueType(short i);
    // The address without its leading "/"; "" when no address has been read.
    char* getPacketAddress();
    // Element i of the arrays of each type; 0, 0.0 or "" for a position outside 0..31.
    int getIntValue(short i);
    float getFloatValue(short i);
    char* getStringValue(short i);

private:
    bool readMessage();
    bool readString(char* buffer, size_t bufferSize);
    bool readWord(unsigned char* word);
    bool skipBytes(uint32_t count);
    enum class Skip { Done, CutOff, RestOfMessage };
    Skip skipArgument(char tag);
    void consume(uint32_t count);

    FILE* file;
    uint32_t packetSize; // bytes of the current message not yet consumed
    char address[kMaxStringLength];
    char typeTags[kMaxTypeTagsLength];
    int32_t intValues[kMaxValues];
    float floatValues[kMaxValues];
    char stringValues[kMaxValues][kMaxStringLength];
    char noString[1]; // what the string accessors answer for a position the message lacks
    bool finished;    // a read failed: the rest of the file is not in step with its messages
    bool cleanEnd;    // the file ended between two messages
    bool cutShort;    // a message was shorter than its size said
};

// Reads an OSC string in 4-byte chunks into a buffer of kMaxStringLength bytes, up to and
// including the chunk whose last byte is zero, or up to a chunk not read whole. Answers 4 times
// the chunk reads attempted, the failed one included. Chunks past the buffer are read and not
// kept; the buffer always ends terminated.
int readOSCString(FILE* file, char* buffer);
// The same for a buffer of any size (at least 1 byte).
int readOSCString(FILE* file, char* buffer, size_t bufferSize);

// Turns a big-endian 32-bit word into host order, in place (on this little-endian host: reverses
// its 4 bytes).
void swapEndian(unsigned char* word);
