#include "tools/OutputFile.h"

#include "tools/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

COutputFile::COutputFile(const std::string& destination, bool replaceExisting)
    : target(destination), replace(replaceExisting) {}

COutputFile::~COutputFile() {
    if (fd >= 0) close(fd);
    if (!committed && !temporary.empty()) unlink(temporary.c_str());
}

bool COutputFile::checkDestination(const std::vector<std::string>& inputs) const {
    struct stat out;
    if (stat(target.c_str(), &out) != 0) {
        if (errno == ENOENT) return true;
        fileError(target, std::strerror(errno));
        return false;
    }
    // The same file under another name (a link, "./", "..") is still the same file.
    for (const std::string& input : inputs) {
        struct stat in;
        if (stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            fileError(target, "is also an input (" + input + ")");
            return false;
        }
    }
    if (S_ISDIR(out.st_mode)) {
        fileError(target, "is a directory");
        return false;
    }
    if (!replace) {
        fileError(target, "exists (--force replaces it)");
        return false;
    }
    return true;
}

bool COutputFile::create() {
    const size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern =
        (slash == std::string::npos ? std::string() : directory) + "." + name + ".XXXXXX";
    fd = mkstemp(&pattern[0]);
    if (fd < 0) {
        fileError(target, std::string("cannot create a file beside it: ") + std::strerror(errno));
        return false;
    }
    temporary = pattern;
    // mkstemp makes the file private; the result gets the permissions of any new file.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) {
        fileError(target, std::string("cannot set permissions: ") + std::strerror(errno));
        return false;
    }
    return true;
}

bool COutputFile::writeAll(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            fileError(target,
                      std::string("write failed: ") + std::strerror(written < 0 ? errno : ENOSPC));
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool COutputFile::commit() {
    const int closing = fd;
    fd = -1;
    if (close(closing) != 0) {
        fileError(target, std::string("write failed: ") + std::strerror(errno));
        return false;
    }
    if (replace) {
        if (rename(temporary.c_str(), target.c_str()) != 0) {
            fileError(target, std::string("cannot rename into place: ") + std::strerror(errno));
            return false;
        }
    } else {
        // Never over a file that appeared meanwhile; link() does the same where the file system
        // cannot rename without replacing.
        int moved =
            renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
            moved = link(temporary.c_str(), target.c_str());
            if (moved == 0) unlink(temporary.c_str());
        }
        if (moved != 0) {
            fileError(target, errno == EEXIST
                                  ? std::string("exists (--force replaces it)")
                                  : std::string("cannot move into place: ") + std::strerror(errno));
            return false;
        }
    }
    committed = true;
    return true;
}
