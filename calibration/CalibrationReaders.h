#pragma once

// The two calibration file formats, read into a calibration that starts as the program it is to
// become; used by importCalibrations.

#include "calibration/Calibration.h"
#include "calibration/OSCFile.h"

#include <cstdio>
#include <string>

// A text calibration, its file open past any byte-order mark, from `directory` (where the
// subdirectory of its coefficient files lies). `set` is the post-matrix set it gets, 0 for none.
void readTextCalibration(FILE* file, const std::string& path, const std::string& directory,
                         const std::string& name, int set, CCalibration& calibration,
                         CCalibrationNotices& notices);

// A tetraproc calibration. `version` is the format version the files before it named, which
// holds from file to file. Answers false when the file names a version that cannot be read,
// which ends the reading of tetraproc calibrations.
bool readTetraProcCalibration(COSCFile& reader, const std::string& path, const std::string& name,
                              int set, int& version, CCalibration& calibration,
                              CCalibrationNotices& notices);
