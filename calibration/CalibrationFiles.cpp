#include "calibration/CalibrationFiles.h"

#include "dsp/Filter.h"
#include "vst/AEffect.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace {
// The system's description of an error; strerror_r keeps instances on other threads apart.
const char* describe(int error, char* buffer, size_t size) {
    return strerror_r(error, buffer, size);
}

void reportSkipped(const char* reason, const std::string& path, CCalibrationNotices& notices) {
    notices.add("Calibration file skipped (%s): %s", reason, path.c_str());
}
} // namespace

std::string calibrationName(const char* entryName) {
    const char* dot = std::strchr(entryName, '.');
    const std::string name = dot == nullptr ? std::string(entryName) : std::string(entryName, dot);
    char fitted[CFilter::kMaxNameLength + 1];
    vst_strncpy(fitted, name.c_str(), static_cast<int>(sizeof(fitted)));
    return fitted;
}

FILE* openCalibrationFile(const std::string& path, const char* mode, CCalibrationNotices& notices) {
    char buffer[128];
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        const int error = errno;
        struct stat link;
        if (error == ENOENT && lstat(path.c_str(), &link) == 0)
            reportSkipped("a symbolic link to nothing", path, notices);
        else if (error != ENOENT)
            reportSkipped(describe(error, buffer, sizeof(buffer)), path, notices);
        return nullptr;
    }
    if (S_ISDIR(status.st_mode)) return nullptr;
    if (!S_ISREG(status.st_mode)) {
        // Opening a FIFO for reading would wait for a writer, blocking the host.
        reportSkipped(S_ISFIFO(status.st_mode) ? "a FIFO, not a regular file"
                                               : "a device or socket, not a regular file",
                      path, notices);
        return nullptr;
    }
    FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr) reportSkipped(describe(errno, buffer, sizeof(buffer)), path, notices);
    return file;
}

DIR* openCalibrationsDirectory(const std::string& path, bool& missing,
                               CCalibrationNotices& notices) {
    missing = false;
    DIR* directory = opendir(path.c_str());
    if (directory != nullptr) return directory;
    const int error = errno;
    missing = error == ENOENT || error == ENOTDIR;
    if (!missing) {
        char buffer[128];
        notices.add("Calibrations directory cannot be read (%s): %s",
                    describe(error, buffer, sizeof(buffer)), path.c_str());
    }
    return nullptr;
}

bool skipByteOrderMark(FILE* file, const std::string& path, CCalibrationNotices& notices) {
    unsigned char start[3] = {0, 0, 0};
    const size_t got = std::fread(start, 1, sizeof(start), file);
    if (got == 3 && start[0] == 0xef && start[1] == 0xbb && start[2] == 0xbf) return true;
    const bool utf16 = got >= 2 && ((start[0] == 0xff && start[1] == 0xfe) ||
                                    (start[0] == 0xfe && start[1] == 0xff));
    if (utf16) {
        notices.add("Calibration file is UTF-16, which is not read; save it as UTF-8: %s",
                    path.c_str());
        return false;
    }
    std::clearerr(file);
    if (std::fseek(file, 0, SEEK_SET) == 0) return true;
    char buffer[128];
    reportSkipped(describe(errno, buffer, sizeof(buffer)), path, notices);
    return false;
}

float limitCalibrationValue(float value, float lowest, float highest, const char* unit,
                            const char* key, float shown, const std::string& path,
                            CCalibrationNotices& notices) {
    if (std::isnan(value)) {
        notices.add("Calibration value %s %g is not a usable number, ignored: %s", key,
                    static_cast<double>(shown), path.c_str());
        return value;
    }
    if (value >= lowest && value <= highest) return value;
    const float limit = value < lowest ? lowest : highest;
    notices.add("Out-of-range calibration value %s %g limited to %g %s: %s", key,
                static_cast<double>(shown), static_cast<double>(limit), unit, path.c_str());
    return limit;
}
