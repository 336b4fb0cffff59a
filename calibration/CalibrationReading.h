#pragma once

#include "calibration/CalibrationPaths.h"
#include "calibration/CalibrationSource.h"

#include <string>
#include <vector>

// What the plug-in makes of the calibrations at some paths, read by the import an instance runs
// when it is constructed: the place in use, each calibration with the program it becomes, and
// every notice the readers raised. The one way the command-line tool reads calibrations to install
// or list them.
struct CCalibrationReading {
    struct CCalibration {
        int program = 0;         // 2 to 7
        std::string programName; // as the host sees it
        CCalibrationSource source;
    };

    CCalibrationPaths paths;
    int place = -1; // index into paths.places of the directory read; -1 when none opened
    std::vector<CCalibration> calibrations;
    // In the order raised, identical ones once.
    std::vector<std::string> notices;

    const CCalibrationPlace* placeInUse() const {
        return place < 0 ? nullptr : &paths.places[static_cast<size_t>(place)];
    }
};

// Reads the calibrations the paths lead to, as an instance does (programs 2 to 7, post-matrix sets
// from 3 on).
CCalibrationReading readCalibrations(const CCalibrationPaths& paths);
