#pragma once

#include "calibration/CalibrationReading.h"

#include <string>
#include <vector>

// Where `xetetra calibrations install` puts calibrations unless told otherwise: the directory
// XETETRA_CALIBRATIONS names; else the per-user directory of the original layout
// ($HOME/Library/Audio/Plug-Ins/VST/calibrations) when it is the one in use; else the XDG one,
// $XDG_DATA_HOME/xetetra/calibrations. When the system-wide directory is in use there is none:
// it is read before any per-user directory, so a calibration installed for one user would never
// be read.
struct CInstallDirectory {
    std::string directory; // empty when there is none; `problem` says why
    std::string problem;
    // What the user should know: the system data directory whose calibrations the new directory
    // hides from now on.
    std::string note;
};

// `standard` is what the plug-in reads from the standard places.
CInstallDirectory defaultInstallDirectory(const CCalibrationReading& standard);

// Checks calibration files with the plug-in's own readers and copies every file they read
// without a complaint, with the coefficient files a text calibration names (in the subdirectory
// named after it), into one directory, creating it. What is there already is replaced only when
// asked to; the files appear complete or not at all, so that a host starting meanwhile never
// reads half a calibration.
class CCalibrationInstaller {
public:
    CCalibrationInstaller(std::string directory, bool force);

    // Checks and installs one file. Reports on standard error, naming the file, and answers
    // false when the file was refused or could not be installed.
    bool install(const std::string& file);

    // The calibration files installed so far, as paths in the directory.
    const std::vector<std::string>& installed() const { return installedFiles; }
    const std::string& directory() const { return target; }

private:
    bool makeDirectory();
    // Copies the coefficient files into a new hidden directory beside the destination.
    bool stageCoefficients(const std::string& file, const CCalibrationSource& source,
                           std::string& staged);

    std::string target;
    bool force;
    bool directoryMade = false;
    std::vector<std::string> installedFiles;
};
