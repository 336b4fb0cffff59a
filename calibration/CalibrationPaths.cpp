#include "calibration/CalibrationPaths.h"

#include <cstdlib>

const char kSystemCalibrationsDirectory[] = "/Library/Audio/Plug-Ins/VST/calibrations";

CCalibrationPaths CCalibrationPaths::defaults() {
    CCalibrationPaths paths;
    paths.systemDirectory = kSystemCalibrationsDirectory;
    // Without HOME there is no per-user candidate.
    if (const char* home = std::getenv("HOME"))
        paths.userDirectory = std::string(home) + "/Library/Audio/Plug-Ins/VST/calibrations";
    return paths;
}

CCalibrationPaths CCalibrationPaths::only(const std::string& directory) {
    CCalibrationPaths paths;
    paths.systemDirectory = directory;
    return paths;
}
