#pragma once

#include <memory>
#include <sndfile.h>

// A file descriptor behind libsndfile's virtual I/O, through one large buffer: libsndfile reads
// and writes a few kilobytes at a time, and on virtual machines every system call costs. A
// megabyte at a time makes the calls a hundred times fewer.
class CBufferedIO {
public:
    // Takes no ownership of the descriptor.
    CBufferedIO(int fd, bool writing);

    // The callbacks for sf_open_virtual; their user data is this object.
    SF_VIRTUAL_IO* callbacks() { return &table; }

    // Writes out what is buffered; false when this or any earlier write failed.
    bool flush();
    // errno of the first failed read or write; 0 when none failed.
    int failure() const { return failed; }

private:
    static sf_count_t length(void* self);
    static sf_count_t seek(sf_count_t offset, int whence, void* self);
    static sf_count_t read(void* to, sf_count_t count, void* self);
    static sf_count_t write(const void* from, sf_count_t count, void* self);
    static sf_count_t tell(void* self);

    SF_VIRTUAL_IO table;
    int fd;
    bool writing;
    // Left uninitialised: zeroing a megabyte costs a short conversion more than it takes.
    std::unique_ptr<char[]> buffer;
    sf_count_t bufferStart = 0; // file offset of buffer[0]
    size_t buffered = 0;        // bytes of the file in the buffer (reading) or not yet written
    sf_count_t position = 0;
    sf_count_t written = 0; // end of what has been written, buffered or not
    int failed = 0;
};
