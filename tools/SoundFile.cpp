#include "tools/SoundFile.h"

#include "tools/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CSoundFile::~CSoundFile() {
    if (file != nullptr) sf_close(file);
    if (ownDescriptor >= 0) ::close(ownDescriptor);
}

namespace {
// What a file that is not a regular file is, for the message that refuses it.
const char* nonRegularKind(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return "is a directory";
    case S_IFIFO:
        return "is a pipe or FIFO, not a regular file (save the stream to a file first)";
    case S_IFCHR:
    case S_IFBLK:
        return "is a device, not a regular file";
    case S_IFSOCK:
        return "is a socket, not a regular file";
    default:
        return "is not a regular file";
    }
}

// Bytes per frame of a file's samples, 1 for the formats whose samples have no fixed size.
long frameBytes(const SF_INFO& info) {
    long bytes = 1;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16:
        bytes = 2;
        break;
    case SF_FORMAT_PCM_24:
        bytes = 3;
        break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        bytes = 4;
        break;
    case SF_FORMAT_DOUBLE:
        bytes = 8;
        break;
    default:
        break;
    }
    return bytes * info.channels;
}

// How many bytes the header's sizes announce beyond the end of the file. libsndfile reads such a
// file up to its end without an error and only notes it in its log, as lines like
// "data : 80000 (should be 56000)"; a shortfall smaller than a frame is a missing pad byte.
long long missingFromLog(SNDFILE* file, const SF_INFO& info) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof(log));
    long long missing = 0;
    const long long frame = frameBytes(info) > 2 ? frameBytes(info) : 2;
    for (const char* line = log; *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        const std::string text(line, end != nullptr ? end : line + std::strlen(line));
        long long announced = 0, actual = 0;
        if (std::sscanf(text.c_str(), "%*[^:]: %lld (should be %lld)", &announced, &actual) == 2 &&
            announced - actual >= frame && announced - actual > missing)
            missing = announced - actual;
        line = end != nullptr ? end + 1 : line + text.size();
    }
    return missing;
}
} // namespace

bool CSoundFile::openForReading(const std::string& path) {
    name = path;
    fileInfo = SF_INFO();
    // Looked at before opening: opening a FIFO waits for a writer, a device may do anything.
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        fileError(path, std::string("cannot read: ") + std::strerror(errno));
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        fileError(path, std::string("cannot read: ") + nonRegularKind(status.st_mode));
        return false;
    }
    // Non-blocking, in case the name was given to something else meanwhile.
    ownDescriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (ownDescriptor < 0) {
        fileError(path, std::string("cannot read: ") + std::strerror(errno));
        return false;
    }
    if (fstat(ownDescriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        fileError(path, std::string("cannot read: ") + nonRegularKind(status.st_mode));
        return false;
    }
    io = std::make_unique<CBufferedIO>(ownDescriptor, false);
    file = sf_open_virtual(io->callbacks(), SFM_READ, &fileInfo, io.get());
    if (file == nullptr) {
        fileError(path, std::string("cannot read: ") + sf_strerror(nullptr));
        return false;
    }
    missing = missingFromLog(file, fileInfo);
    return true;
}

bool CSoundFile::openForWriting(int fd, const std::string& path, SF_INFO& format) {
    name = path;
    fileInfo = format;
    io = std::make_unique<CBufferedIO>(fd, true);
    file = sf_open_virtual(io->callbacks(), SFM_WRITE, &fileInfo, io.get());
    if (file == nullptr) {
        fileError(path, std::string("cannot write: ") + sf_strerror(nullptr));
        return false;
    }
    return true;
}

bool CSoundFile::close() {
    SNDFILE* closing = file;
    file = nullptr;
    if (closing == nullptr) return true;
    // Closing writes the header into the buffer; only then can the buffer go out.
    const int error = sf_close(closing);
    const bool flushed = io == nullptr || io->flush();
    if (!flushed || error != 0) {
        fileError(name, "write failed: " + (flushed ? std::string(sf_error_number(error))
                                                    : std::string(std::strerror(io->failure()))));
        return false;
    }
    return true;
}

bool CSoundFile::systemFailure() const {
    return io != nullptr && io->failure() != 0;
}

std::string CSoundFile::error() const {
    // A failed system call says more than libsndfile's short count.
    if (io != nullptr && io->failure() != 0) return std::strerror(io->failure());
    return sf_strerror(file);
}

namespace {
const CFileType kFileTypes[] = {
    {"wav", SF_FORMAT_WAV}, {"amb", SF_FORMAT_WAVEX}, {"caf", SF_FORMAT_CAF},
    {"w64", SF_FORMAT_W64}, {"flac", SF_FORMAT_FLAC},
};
} // namespace

const CFileType* fileTypeByName(const std::string& name) {
    for (const CFileType& type : kFileTypes)
        if (name == type.name) return &type;
    return nullptr;
}

const CFileType* fileTypeOfPath(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
    const std::string extension = path.substr(dot + 1);
    for (const CFileType& type : kFileTypes)
        if (equalsIgnoringCase(extension, type.name)) return &type;
    return nullptr;
}

int sampleFormatByName(const std::string& bits) {
    if (bits == "16") return SF_FORMAT_PCM_16;
    if (bits == "24") return SF_FORMAT_PCM_24;
    if (bits == "32") return SF_FORMAT_PCM_32;
    if (bits == "float") return SF_FORMAT_FLOAT;
    return 0;
}

std::string sampleFormatName(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16:
        return "16";
    case SF_FORMAT_PCM_24:
        return "24";
    case SF_FORMAT_PCM_32:
        return "32";
    case SF_FORMAT_FLOAT:
        return "float";
    default:
        return "";
    }
}

bool isIntegerFormat(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return false;
    default:
        return true;
    }
}
