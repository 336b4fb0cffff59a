#pragma once

#include <string>
#include <vector>

// One directory the processor may read its calibrations from, and how it came to be a candidate.
struct CCalibrationPlace {
    enum class Origin {
        kGiven,       // named by the caller (the command line, a test)
        kEnvironment, // XETETRA_CALIBRATIONS
        kSystem,      // the system-wide directory of the original layout
        kUser,        // the same path under HOME
        kDataHome,    // the XDG user data directory
        kDataDirs,    // one of the XDG system data directories
    };
    std::string directory;
    Origin origin = Origin::kGiven;

    // How the place is named in listings: "XETETRA_CALIBRATIONS", "XDG_DATA_HOME", ...
    const char* originName() const;
};

// Where the processor looks for calibrations: candidate directories tried in order, the first
// that opens being the one read, text calibrations first, then binary ones. A value: tests and
// the command-line tool build their own.
struct CCalibrationPaths {
    std::vector<CCalibrationPlace> places;
    // When not empty, the one entry of the directory that is read: a single file checked as the
    // plug-in would read it.
    std::string onlyEntry;

    // From the environment, in this order: XETETRA_CALIBRATIONS when set; the system-wide
    // directory; the same path under HOME; $XDG_DATA_HOME/xetetra/calibrations;
    // xetetra/calibrations under each directory of $XDG_DATA_DIRS. A variable that is unset or
    // empty takes its XDG default, a relative path is ignored, and a directory is named once.
    static CCalibrationPaths defaults();
    // One directory for text and binary calibrations alike.
    static CCalibrationPaths only(const std::string& directory);
    // One calibration file, read from where it lies (its coefficient files beside it).
    static CCalibrationPaths file(const std::string& path);

    // The per-user XDG place ($XDG_DATA_HOME/xetetra/calibrations), or null without one.
    const CCalibrationPlace* dataHome() const;
};

extern const char kSystemCalibrationsDirectory[];