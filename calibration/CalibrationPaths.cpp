#include "calibration/CalibrationPaths.h"

#include <cstdlib>

const char kSystemCalibrationsDirectory[] = "/Library/Audio/Plug-Ins/VST/calibrations";
namespace {
using Origin = CCalibrationPlace::Origin;

// The subdirectory of an XDG data directory that holds calibrations.
constexpr char kDataCalibrationsSubdirectory[] = "xetetra/calibrations";

// The variable's value, or "" when it is unset.
std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool absolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

// The path without the slashes at its end ("/" stays).
std::string trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void add(CCalibrationPaths& paths, const std::string& directory, Origin origin) {
    for (const CCalibrationPlace& place : paths.places)
        if (place.directory == directory) return;
    CCalibrationPlace place;
    place.directory = directory;
    place.origin = origin;
    paths.places.push_back(place);
}
} // namespace

const char* CCalibrationPlace::originName() const {
    switch (origin) {
    case Origin::kEnvironment:
        return "XETETRA_CALIBRATIONS";
    case Origin::kSystem:
        return "system-wide";
    case Origin::kUser:
        return "per-user";
    case Origin::kDataHome:
        return "XDG_DATA_HOME";
    case Origin::kDataDirs:
        return "XDG_DATA_DIRS";
    case Origin::kGiven:
        break;
    }
    return "given";
}

CCalibrationPaths CCalibrationPaths::defaults() {
    CCalibrationPaths paths;
    const std::string chosen = variable("XETETRA_CALIBRATIONS");
    // A relative path would depend on the host's working directory.
    if (absolute(chosen)) add(paths, trimmed(chosen), Origin::kEnvironment);
    add(paths, kSystemCalibrationsDirectory, Origin::kSystem);
    // Without HOME there is no per-user candidate of the original layout.
    const std::string home = variable("HOME");
    if (!home.empty()) add(paths, home + "/Library/Audio/Plug-Ins/VST/calibrations", Origin::kUser);

    std::string dataHome = variable("XDG_DATA_HOME");
    if (!absolute(dataHome)) dataHome = absolute(home) ? home + "/.local/share" : "";
    if (!dataHome.empty())
        add(paths, trimmed(dataHome) + "/" + kDataCalibrationsSubdirectory, Origin::kDataHome);

    std::vector<std::string> dataDirs;
    const std::string list = variable("XDG_DATA_DIRS");
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string entry = list.substr(start, end - start);
        if (absolute(entry)) dataDirs.push_back(trimmed(entry));
        start = end + 1;
    }
    // A list with no usable directory is as good as none.
    if (dataDirs.empty()) dataDirs = {"/usr/local/share", "/usr/share"};
    for (const std::string& directory : dataDirs)
        add(paths, (directory == "/" ? "" : directory) + "/" + kDataCalibrationsSubdirectory,
            Origin::kDataDirs);
    return paths;
}

CCalibrationPaths CCalibrationPaths::only(const std::string& directory) {
    CCalibrationPaths paths;
    add(paths, directory, Origin::kGiven);
    return paths;
}

CCalibrationPaths CCalibrationPaths::file(const std::string& path) {
    const size_t slash = path.rfind('/');
    CCalibrationPaths paths;
    if (slash == std::string::npos) {
        paths = only(".");
        paths.onlyEntry = path;
    } else {
        paths = only(slash == 0 ? "/" : path.substr(0, slash));
        paths.onlyEntry = path.substr(slash + 1);
    }
    return paths;
}

const CCalibrationPlace* CCalibrationPaths::dataHome() const {
    for (const CCalibrationPlace& place : places)
        if (place.origin == Origin::kDataHome) return &place;
    return nullptr;
}
