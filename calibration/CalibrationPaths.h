#pragma once

#include <string>

// Where the processor looks for calibrations. The defaults are the system-wide directory and the
// same path under the user's HOME; tests and the command-line tool point them elsewhere.
struct CCalibrationPaths {
    // Tried first, and the only place binary calibrations are read from.
    std::string systemDirectory;
    // Tried when the system-wide directory cannot be opened; empty means no second candidate.
    std::string userDirectory;

    static CCalibrationPaths defaults();
    // One directory for text and binary calibrations alike.
    static CCalibrationPaths only(const std::string& directory);
};

extern const char kSystemCalibrationsDirectory[];
