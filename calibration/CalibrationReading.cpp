#include "calibration/CalibrationReading.h"

#include "calibration/Calibration.h"

#include <cstring>

CCalibrationReading readCalibrations(const CCalibrationPaths& paths) {
    // The programs calibrations take, after the two factory ones; the sets after the three
    // built-in ones ("None", "1.47cm", "2.3cm").
    constexpr int kFirstProgram = 2, kFirstSet = 3, kSets = 8;
    CCalibrationReading reading;
    reading.paths = paths;
    std::vector<AXeTetraProgram> blanks;
    for (int program = kFirstProgram; program < kNumPrograms; ++program)
        blanks.push_back(AXeTetraProgram::user(program));
    const CCalibrationImport import = importCalibrations(paths, blanks, kFirstSet, kSets);
    reading.place = import.place;
    for (size_t i = 0; i < import.calibrations.size(); ++i) {
        CCalibrationReading::CCalibration calibration;
        calibration.program = kFirstProgram + static_cast<int>(i);
        const char* name = import.calibrations[i].program.name;
        // A program named "Init" is shown with its number, as hosts see it.
        calibration.programName = std::strcmp(name, "Init") == 0
                                      ? "Init " + std::to_string(calibration.program + 1)
                                      : std::string(name);
        calibration.source = import.calibrations[i].source;
        reading.calibrations.push_back(calibration);
    }
    reading.notices = import.notices.texts();
    return reading;
}
