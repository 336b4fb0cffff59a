#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <sndfile.h>
#include <thread>

// A file descriptor behind libsndfile's virtual I/O, through one large buffer: libsndfile reads
// and writes a few kilobytes at a time, and on virtual machines every system call costs. A
// megabyte at a time makes the calls a hundred times fewer.
//
// Writing, a full megabyte goes to the file on a thread of its own while the next one fills: the
// copy into the system's page cache, as slow as encoding the samples, then costs no time of the
// thread that writes.
class CBufferedIO {
public:
    // Takes no ownership of the descriptor.
    CBufferedIO(int fd, bool writing);
    ~CBufferedIO();
    CBufferedIO(const CBufferedIO&) = delete;
    CBufferedIO& operator=(const CBufferedIO&) = delete;

    // The callbacks for sf_open_virtual; their user data is this object.
    SF_VIRTUAL_IO* callbacks() { return &table; }

    // Writes out what is buffered and waits until it is written; false when this or any earlier
    // write failed.
    bool flush();
    // errno of the first failed read or write; 0 when none failed.
    int failure() const;

private:
    // Hands the full buffer to the writing thread and goes on with the spare one.
    bool flushInBackground();
    // Waits until the writing thread has nothing left to write.
    void waitForWriter();
    void writerLoop();
    // pwrite until done; the errno of a failure, or 0.
    int writeOut(const char* data, size_t size, sf_count_t offset) const;

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

    // The writing thread and what it was handed.
    std::unique_ptr<char[]> spare;
    std::thread writer;
    mutable std::mutex mutex;
    std::condition_variable handed;
    std::condition_variable done;
    const char* pendingData = nullptr;
    size_t pendingSize = 0;
    sf_count_t pendingOffset = 0;
    bool stopping = false;
    int writerFailed = 0;
};
