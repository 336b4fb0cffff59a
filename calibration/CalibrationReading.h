#pragma once

#include "calibration/CalibrationPaths.h"
#include "calibration/CalibrationSource.h"

#include <memory>
#include <string>
#include <vector>

class AXeTetra;

// What the plug-in makes of the calibrations at some paths, read by its own readers exactly as an
// instance reads them when it is constructed: the place in use, each calibration with the program
// it became, and every notice the readers raised. The one way the command-line tool reads
// calibrations to install or list them.
struct CCalibrationReading {
    struct CCalibration {
        int program = 0;         // 2 to 7
        std::string programName; // as the host sees it
        CCalibrationSource source;
    };

    CCalibrationPaths paths;
    int place = -1; // index into paths.places of the directory read; -1 when none opened
    std::vector<CCalibration> calibrations;
    // In the order raised, identical ones once. A single instance keeps a few notices pending at
    // a time; `lostNotices` counts those beyond them.
    std::vector<std::string> notices;
    unsigned lostNotices = 0;
    // The processor that read them, with every program, for a caller that looks further.
    std::shared_ptr<AXeTetra> processor;

    const CCalibrationPlace* placeInUse() const {
        return place < 0 ? nullptr : &paths.places[static_cast<size_t>(place)];
    }
};

// Reads the calibrations the paths lead to; the readers' messages also go to standard error, as
// in the plug-in.
CCalibrationReading readCalibrations(const CCalibrationPaths& paths);
