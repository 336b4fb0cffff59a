#include "tools/BufferedIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr size_t kBufferSize = 1 << 20;
} // namespace

CBufferedIO::CBufferedIO(int descriptor, bool forWriting)
    : fd(descriptor), writing(forWriting), buffer(new char[kBufferSize]) {
    table.get_filelen = &CBufferedIO::length;
    table.seek = &CBufferedIO::seek;
    table.read = &CBufferedIO::read;
    table.write = &CBufferedIO::write;
    table.tell = &CBufferedIO::tell;
    if (writing) {
        spare.reset(new char[kBufferSize]);
        writer = std::thread([this] { writerLoop(); });
    }
}

CBufferedIO::~CBufferedIO() {
    if (!writer.joinable()) return;
    {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return pendingData == nullptr; });
        stopping = true;
    }
    handed.notify_one();
    writer.join();
}

int CBufferedIO::writeOut(const char* data, size_t size, sf_count_t offset) const {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(fd, data + done, size - done,
                                 static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        done += static_cast<size_t>(n);
    }
    return 0;
}

void CBufferedIO::writerLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        handed.wait(lock, [this] { return pendingData != nullptr || stopping; });
        if (pendingData == nullptr) return;
        const char* data = pendingData;
        const size_t size = pendingSize;
        const sf_count_t offset = pendingOffset;
        lock.unlock();
        const int error = writerFailed == 0 ? writeOut(data, size, offset) : 0;
        lock.lock();
        if (error != 0 && writerFailed == 0) writerFailed = error;
        pendingData = nullptr;
        done.notify_all();
    }
}

void CBufferedIO::waitForWriter() {
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [this] { return pendingData == nullptr; });
    if (writerFailed != 0 && failed == 0) failed = writerFailed;
}

int CBufferedIO::failure() const {
    std::lock_guard<std::mutex> lock(mutex);
    return failed != 0 ? failed : writerFailed;
}

bool CBufferedIO::flushInBackground() {
    // The spare buffer is free once the writer is done with it.
    waitForWriter();
    if (failed != 0) return false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        buffer.swap(spare);
        pendingData = spare.get();
        pendingSize = buffered;
        pendingOffset = bufferStart;
    }
    handed.notify_one();
    bufferStart += static_cast<sf_count_t>(buffered);
    buffered = 0;
    return true;
}

bool CBufferedIO::flush() {
    if (!writing) return failed == 0;
    waitForWriter();
    if (failed == 0 && buffered > 0) failed = writeOut(buffer.get(), buffered, bufferStart);
    if (failed == 0) bufferStart += static_cast<sf_count_t>(buffered);
    buffered = 0;
    return failed == 0;
}

sf_count_t CBufferedIO::length(void* self) {
    CBufferedIO& io = *static_cast<CBufferedIO*>(self);
    struct stat info;
    const sf_count_t onDisk = fstat(io.fd, &info) == 0 ? static_cast<sf_count_t>(info.st_size) : 0;
    return io.written > onDisk ? io.written : onDisk;
}

sf_count_t CBufferedIO::seek(sf_count_t offset, int whence, void* self) {
    CBufferedIO& io = *static_cast<CBufferedIO*>(self);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = io.position;
    if (whence == SEEK_END) base = length(self);
    if (base + offset < 0) return -1;
    io.position = base + offset;
    return io.position;
}

sf_count_t CBufferedIO::tell(void* self) {
    return static_cast<CBufferedIO*>(self)->position;
}

sf_count_t CBufferedIO::read(void* to, sf_count_t count, void* self) {
    CBufferedIO& io = *static_cast<CBufferedIO*>(self);
    // A writer reads back only what it wrote: that must be on disk first.
    if (io.writing && !io.flush()) return 0;
    char* out = static_cast<char*>(to);
    sf_count_t done = 0;
    while (done < count) {
        const sf_count_t end = io.bufferStart + static_cast<sf_count_t>(io.buffered);
        if (!io.writing && io.position >= io.bufferStart && io.position < end) {
            const sf_count_t available = end - io.position;
            const sf_count_t n = available < count - done ? available : count - done;
            std::memcpy(out + done, io.buffer.get() + (io.position - io.bufferStart),
                        static_cast<size_t>(n));
            done += n;
            io.position += n;
            continue;
        }
        // Large reads go straight to the caller; small ones fill the buffer first.
        const bool direct = io.writing || count - done >= static_cast<sf_count_t>(kBufferSize);
        char* target = direct ? out + done : io.buffer.get();
        const size_t size = direct ? static_cast<size_t>(count - done) : kBufferSize;
        const ssize_t n = pread(io.fd, target, size, static_cast<off_t>(io.position));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) io.failed = errno;
        if (n <= 0) break;
        if (direct) {
            done += n;
            io.position += n;
        } else {
            io.bufferStart = io.position;
            io.buffered = static_cast<size_t>(n);
        }
    }
    return done;
}

sf_count_t CBufferedIO::write(const void* from, sf_count_t count, void* self) {
    CBufferedIO& io = *static_cast<CBufferedIO*>(self);
    if (!io.writing || io.failure() != 0) return 0;
    // The buffer holds one contiguous stretch: a write elsewhere (a header) sends it out first.
    if (io.position != io.bufferStart + static_cast<sf_count_t>(io.buffered)) {
        if (!io.flush()) return 0;
        io.bufferStart = io.position;
    }
    const char* in = static_cast<const char*>(from);
    sf_count_t done = 0;
    while (done < count) {
        if (io.buffered == kBufferSize && !io.flushInBackground()) return done;
        const size_t room = kBufferSize - io.buffered;
        const size_t n =
            static_cast<size_t>(count - done) < room ? static_cast<size_t>(count - done) : room;
        std::memcpy(io.buffer.get() + io.buffered, in + done, n);
        io.buffered += n;
        done += static_cast<sf_count_t>(n);
    }
    io.position += count;
    if (io.position > io.written) io.written = io.position;
    return count;
}
