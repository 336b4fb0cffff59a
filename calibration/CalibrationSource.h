#pragma once

#include <string>
#include <vector>

// Where the program of a calibration came from: the file the import read, and for a text
// calibration the coefficient files it names, which lie in the subdirectory named after the
// calibration.
struct CCalibrationSource {
    std::string file;      // the calibration file's path; empty for a program no calibration filled
    std::string directory; // the calibrations directory it was read from
    std::string name;      // the calibration name, which also names the coefficient subdirectory
    std::vector<std::string> coefficientFiles; // as the calibration names them
    int postMatrixSet = 0;                     // the set it built; 0 when it built none

    bool empty() const { return file.empty(); }
};
