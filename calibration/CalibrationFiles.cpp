#include "calibration/CalibrationFiles.h"

#include <cstring>
#include <sys/stat.h>

std::string calibrationName(const char* entryName) {
    const char* dot = std::strchr(entryName, '.');
    return dot == nullptr ? std::string(entryName) : std::string(entryName, dot);
}

bool isRegularFile(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

FILE* openRegularFile(const std::string& path, const char* mode) {
    return isRegularFile(path) ? std::fopen(path.c_str(), mode) : nullptr;
}
