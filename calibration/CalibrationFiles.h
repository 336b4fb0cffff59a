#pragma once

#include "calibration/CalibrationNotices.h"

#include <cstdio>
#include <dirent.h>
#include <string>

// The calibration name of a directory entry: its name up to, not including, the first ".", cut
// to what a filter-set name holds without splitting a UTF-8 character.
std::string calibrationName(const char* entryName);

// Opens a directory entry named like a calibration, only when it is a regular file (following
// symbolic links), so that a FIFO or a device never claims a program or blocks the host. What
// cannot be read is named in a notice with the reason (a FIFO, a device, a broken link, no
// permission) and answers null; a directory is passed over without one.
FILE* openCalibrationFile(const std::string& path, const char* mode, CCalibrationNotices& notices);

// Opens a calibrations directory; one that exists but cannot be read is named in a notice.
// `missing` tells a directory that is not there (or is no directory) from one that was reported.
DIR* openCalibrationsDirectory(const std::string& path, bool& missing,
                               CCalibrationNotices& notices);

// Looks at the start of a text file just opened: a UTF-8 byte-order mark is passed over, and the
// file is otherwise left at its start. Answers false, after a notice naming the file, for a
// UTF-16 file, whose text the line reader cannot read.
bool skipByteOrderMark(FILE* file, const std::string& path, CCalibrationNotices& notices);

// A value a calibration file brings, limited to the range its parameter can express. A value
// outside is limited to the nearer end, with one notice naming the key, the value as the file
// gives it (`shown`), the limit and the file. A NaN is named in a notice and answered as NaN,
// which the callers do not store (they pass NaN for any value they cannot use).
float limitCalibrationValue(float value, float lowest, float highest, const char* unit,
                            const char* key, float shown, const std::string& path,
                            CCalibrationNotices& notices);
