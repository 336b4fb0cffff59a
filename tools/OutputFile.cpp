#include "tools/OutputFile.h"

#include "tools/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

COutputFile::COutputFile(const std::string& destination, bool replaceExisting,
                         const std::string& temporaryStem)
    : target(destination), stem(temporaryStem), replace(replaceExisting) {}

COutputFile::~COutputFile() {
    if (fd >= 0) close(fd);
    if (!committed && !temporary.empty()) unlink(temporary.c_str());
}

bool COutputFile::checkDestination(const std::vector<std::string>& inputs) {
    struct stat out;
    existed = false;
    if (lstat(target.c_str(), &out) != 0) {
        if (errno == ENOENT) return true;
        fileError(target, std::strerror(errno));
        return false;
    }
    // The same file under another name (a link, "./", "..") is still the same file.
    struct stat resolved;
    if (stat(target.c_str(), &resolved) == 0) {
        for (const std::string& input : inputs) {
            struct stat in;
            if (stat(input.c_str(), &in) == 0 && in.st_dev == resolved.st_dev &&
                in.st_ino == resolved.st_ino) {
                fileError(target, "is also an input (" + input + ")");
                return false;
            }
        }
    }
    if (!replaceable(out)) return false;
    if (!replace) {
        fileError(target, "exists (--force replaces it)");
        return false;
    }
    existed = true;
    mode = out.st_mode & 0777;
    owner = out.st_uid;
    group = out.st_gid;
    return true;
}

bool COutputFile::replaceable(const struct stat& existing) const {
    const mode_t type = existing.st_mode & S_IFMT;
    const char* what = type == S_IFDIR    ? "is a directory"
                       : type == S_IFLNK  ? "is a symbolic link"
                       : type == S_IFCHR  ? "is a character device"
                       : type == S_IFBLK  ? "is a block device"
                       : type == S_IFIFO  ? "is a FIFO"
                       : type == S_IFSOCK ? "is a socket"
                       : type != S_IFREG  ? "is not a regular file"
                                          : nullptr;
    if (what != nullptr) {
        // Renaming over it would put a plain file in its place (for /dev/null, for everyone).
        fileError(target, std::string(what) + "; xetetra replaces only regular files");
        return false;
    }
    if (existing.st_nlink > 1) {
        fileError(target, "has " + std::to_string(existing.st_nlink) +
                              " hard links; replacing it would part it from the others, so "
                              "remove them or choose another name");
        return false;
    }
    return true;
}

bool COutputFile::create() {
    const size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string name = !stem.empty()                ? stem
                       : slash == std::string::npos ? target
                                                    : target.substr(slash + 1);
    // "." and ".XXXXXX" add eight bytes: a name near the longest the directory takes is cut.
    long longest = pathconf(directory.c_str(), _PC_NAME_MAX);
    if (longest <= 8) longest = 255;
    if (name.size() + 8 > static_cast<size_t>(longest))
        name.resize(static_cast<size_t>(longest) - 8);
    std::string pattern =
        (slash == std::string::npos ? std::string() : directory) + "." + name + ".XXXXXX";
    fd = mkstemp(&pattern[0]);
    if (fd < 0) {
        fileError(target, std::string("cannot create a file beside it: ") + std::strerror(errno));
        return false;
    }
    temporary = pattern;
    mode_t permissions;
    if (existed) {
        // A private recording stays private. Only root may give the file to someone else;
        // otherwise it stays ours, as any file we write.
        if (fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0 &&
            errno != EPERM) {
            fileError(target, std::string("cannot set the owner: ") + std::strerror(errno));
            return false;
        }
        permissions = static_cast<mode_t>(mode);
    } else {
        // mkstemp makes the file private; the result gets the permissions of any new file.
        const mode_t mask = umask(0);
        umask(mask);
        permissions = 0666 & ~mask;
    }
    if (fchmod(fd, permissions) != 0) {
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
        // Checked again at the last moment: something may have taken the name meanwhile.
        struct stat now;
        if (lstat(target.c_str(), &now) == 0 && !replaceable(now)) return false;
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
