#include "tools/SoundFile.h"

#include "tools/CommandLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CSoundFile::~CSoundFile() {
    if (file != nullptr) sf_close(file);
    if (ownDescriptor >= 0) ::close(ownDescriptor);
}

bool CSoundFile::openForReading(const std::string& path) {
    name = path;
    fileInfo = SF_INFO();
    ownDescriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (ownDescriptor < 0) {
        fileError(path, std::string("cannot read: ") + std::strerror(errno));
        return false;
    }
    struct stat status;
    if (fstat(ownDescriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        fileError(path, "cannot read: is a directory");
        return false;
    }
    io = std::make_unique<CBufferedIO>(ownDescriptor, false);
    file = sf_open_virtual(io->callbacks(), SFM_READ, &fileInfo, io.get());
    if (file == nullptr) {
        fileError(path, std::string("cannot read: ") + sf_strerror(nullptr));
        return false;
    }
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
