#include "tools/CalibrationInstaller.h"

#include "calibration/CalibrationFiles.h"
#include "tools/CommandLine.h"
#include "tools/OutputFile.h"
#include "tools/SilentStandardError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Names of what the installer writes before renaming it into place: nothing the readers take
// for a calibration ("." and these letters hold no ".txt" or ".tetra").
const char kStagingStem[] = "xetetra-install";

bool namedLikeText(const char* name) {
    return std::strstr(name, ".txt") != nullptr || std::strstr(name, ".TXT") != nullptr;
}
bool namedLikeBinary(const char* name) {
    return std::strstr(name, ".tetra") != nullptr;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string errorText(int error) {
    return std::strerror(error);
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

// The notice without the path of the checked file at its end: the report names the file first.
std::string reason(const std::string& notice, const std::string& readPath) {
    const std::string tail = ": " + readPath;
    if (notice.size() > tail.size() &&
        notice.compare(notice.size() - tail.size(), tail.size(), tail) == 0)
        return notice.substr(0, notice.size() - tail.size());
    return notice;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path) == 0 ? 0 : -1;
}

// Removes a directory with everything in it, never following a symbolic link out of it.
bool removeTree(const std::string& path) {
    return nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

// Permissions of a new file or directory: what the umask leaves of `mode`.
mode_t newMode(mode_t mode) {
    const mode_t mask = umask(0);
    umask(mask);
    return mode & ~mask;
}

bool copyFile(const std::string& from, COutputFile& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) {
        fileError(from, errorText(errno));
        return false;
    }
    char buffer[1 << 16];
    bool copied = true;
    size_t got;
    while (copied && (got = std::fread(buffer, 1, sizeof(buffer), in)) > 0)
        copied = to.writeAll(buffer, got);
    if (copied && std::ferror(in)) {
        fileError(from, "read failed");
        copied = false;
    }
    std::fclose(in);
    return copied;
}
} // namespace

CInstallDirectory defaultInstallDirectory(const CCalibrationReading& standard) {
    CInstallDirectory result;
    const char* chosen = std::getenv("XETETRA_CALIBRATIONS");
    if (chosen != nullptr && chosen[0] != '\0' && chosen[0] != '/') {
        result.problem = std::string("XETETRA_CALIBRATIONS (") + chosen +
                         ") is not an absolute path, and the plug-in ignores it";
        return result;
    }
    for (const CCalibrationPlace& place : standard.paths.places)
        if (place.origin == CCalibrationPlace::Origin::kEnvironment) {
            result.directory = place.directory;
            return result;
        }
    const CCalibrationPlace* inUse = standard.placeInUse();
    if (inUse != nullptr && inUse->origin == CCalibrationPlace::Origin::kUser) {
        result.directory = inUse->directory;
        return result;
    }
    if (inUse != nullptr && inUse->origin == CCalibrationPlace::Origin::kSystem) {
        result.problem = inUse->directory +
                         " is in use: it is read for every user, before any per-user directory, "
                         "so a calibration installed for you alone would not be read. Install "
                         "into it with --directory (as its owner), or name a directory of your "
                         "own in XETETRA_CALIBRATIONS";
        return result;
    }
    const CCalibrationPlace* home = standard.paths.dataHome();
    if (home == nullptr) {
        result.problem = "there is no per-user calibrations directory: neither XDG_DATA_HOME nor "
                         "HOME is set";
        return result;
    }
    result.directory = home->directory;
    if (inUse != nullptr && inUse->origin == CCalibrationPlace::Origin::kDataDirs)
        result.note = home->directory + " is read before " + inUse->directory +
                      ": the plug-in no longer reads the calibrations there (install them here "
                      "too to keep them)";
    return result;
}

CCalibrationInstaller::CCalibrationInstaller(std::string directory, bool replace)
    : target(std::move(directory)), force(replace) {}

bool CCalibrationInstaller::makeDirectory() {
    if (directoryMade) return true;
    // Every missing component, as mkdir -p does.
    for (size_t end = 1; end <= target.size(); ++end) {
        if (end < target.size() && target[end] != '/') continue;
        const std::string part = target.substr(0, end);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            fileError(part, "cannot create the calibrations directory: " + errorText(errno));
            return false;
        }
    }
    if (!isDirectory(target)) {
        fileError(target, "is not a directory");
        return false;
    }
    directoryMade = true;
    return true;
}

bool CCalibrationInstaller::stageCoefficients(const std::string& file,
                                              const CCalibrationSource& source,
                                              std::string& staged) {
    std::string pattern = target + "/." + kStagingStem + ".XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        fileError(target, "cannot create a directory in it: " + errorText(errno));
        return false;
    }
    staged = pattern;
    std::vector<std::string> names = source.coefficientFiles;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) {
        const std::string from = source.directory + "/" + source.name + "/" + name;
        COutputFile out(staged + "/" + name, false);
        if (!out.create() || !copyFile(from, out) || !out.commit()) {
            fileError(file, "not installed: its coefficient file " + from + " was not copied");
            return false;
        }
    }
    if (chmod(staged.c_str(), newMode(0777)) != 0) {
        fileError(staged, errorText(errno));
        return false;
    }
    return true;
}

bool CCalibrationInstaller::install(const std::string& file) {
    struct stat info;
    if (stat(file.c_str(), &info) != 0) return fileError(file, errorText(errno)), false;
    if (!S_ISREG(info.st_mode)) return fileError(file, "not a regular file"), false;
    const std::string entry = baseName(file);
    const bool text = namedLikeText(entry.c_str());
    const bool binary = namedLikeBinary(entry.c_str());
    if (!text && !binary)
        return fileError(file, "not named like a calibration: text calibrations are *.txt, "
                               "tetraproc calibrations *.tetra"),
               false;

    // The file read as the plug-in reads it, alone, where it lies: whatever the readers say of it
    // is a reason to refuse it, since the plug-in would say it at every start.
    CCalibrationReading reading;
    {
        CSilentStandardError silence;
        reading = readCalibrations(CCalibrationPaths::file(file));
    }
    const std::string readPath =
        reading.placeInUse() != nullptr ? reading.placeInUse()->directory + "/" + entry : file;
    if (!reading.notices.empty()) {
        for (const std::string& notice : reading.notices)
            fileError(file, "refused: " + reason(notice, readPath));
        return false;
    }
    if (reading.calibrations.size() != 1)
        return fileError(file, text && binary ? "refused: read both as a text and as a tetraproc "
                                                "calibration; rename it"
                                              : "refused: not read as a calibration"),
               false;
    const CCalibrationSource& source = reading.calibrations[0].source;
    for (const std::string& name : source.coefficientFiles)
        if (name.find('/') != std::string::npos || name == "." || name == "..")
            return fileError(file, "refused: names a coefficient file outside its directory (" +
                                       name + ")"),
                   false;

    if (!makeDirectory()) return false;
    const std::string destination = target + "/" + entry;
    if (sameFile(file, destination))
        return fileError(file, "is the installed calibration itself (in " + target + ")"), false;

    // What holds the calibration's name already: the same file name, other calibration files
    // that give the same program name, and the coefficient subdirectory when one comes along.
    std::vector<std::string> holders;
    struct stat existing;
    if (lstat(destination.c_str(), &existing) == 0) holders.push_back(entry);
    std::vector<std::string> sameName;
    if (DIR* directory = opendir(target.c_str())) {
        while (const dirent* other = readdir(directory)) {
            const char* name = other->d_name;
            if (entry == name || (!namedLikeText(name) && !namedLikeBinary(name))) continue;
            if (calibrationName(name) == source.name) sameName.emplace_back(name);
        }
        closedir(directory);
    }
    std::sort(sameName.begin(), sameName.end());
    holders.insert(holders.end(), sameName.begin(), sameName.end());
    const std::string companion = target + "/" + source.name;
    const bool withCoefficients = !source.coefficientFiles.empty();
    bool companionExists = false;
    if (withCoefficients && lstat(companion.c_str(), &existing) == 0) {
        companionExists = true;
        holders.push_back(source.name + "/");
        // Only a directory of coefficient files is replaced, never what a link leads to.
        if (!S_ISDIR(existing.st_mode))
            return fileError(file, "not installed: " + companion +
                                       " is in the way of its coefficient files and is not a "
                                       "directory"),
                   false;
    }
    if (!holders.empty() && !force) {
        std::string list;
        for (const std::string& holder : holders)
            list += (list.empty() ? "" : ", ") + holder;
        return fileError(file, "not installed: " + target + " holds the calibration " +
                                   source.name + " already (" + list + "); --force replaces it"),
               false;
    }

    COutputFile out(destination, force, kStagingStem);
    if (!out.checkDestination({file})) return false;
    std::string staged;
    bool done = (!withCoefficients || stageCoefficients(file, source, staged)) && out.create() &&
                copyFile(file, out);
    // The coefficient files go into place first, so that the calibration never names missing
    // ones; a replaced subdirectory is moved aside and removed once the new one is there.
    std::string retired;
    if (done && withCoefficients && companionExists) {
        // Renamed over an empty directory of a name of our own.
        std::string pattern = target + "/." + kStagingStem + ".XXXXXX";
        const bool made = mkdtemp(&pattern[0]) != nullptr;
        done = made && rename(companion.c_str(), pattern.c_str()) == 0;
        if (done) {
            retired = pattern;
        } else {
            fileError(companion, "cannot be replaced: " + errorText(errno));
            if (made) rmdir(pattern.c_str());
        }
    }
    if (done && withCoefficients) {
        if (rename(staged.c_str(), companion.c_str()) == 0) {
            staged.clear();
        } else {
            fileError(companion, "cannot be put in place: " + errorText(errno));
            if (!retired.empty() && rename(retired.c_str(), companion.c_str()) == 0)
                retired.clear();
            done = false;
        }
    }
    done = done && out.commit();
    if (!staged.empty()) removeTree(staged);
    if (!retired.empty()) removeTree(retired);
    if (!done) return false;
    for (const std::string& name : sameName) {
        const std::string path = target + "/" + name;
        if (unlink(path.c_str()) == 0)
            std::fprintf(stderr, "xetetra: %s: removed, replaced by %s\n", path.c_str(),
                         destination.c_str());
        else
            fileError(path, "gives the program name " + source.name +
                                " too and could not be removed: " + errorText(errno));
    }
    installedFiles.push_back(destination);
    return true;
}
