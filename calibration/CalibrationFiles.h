#pragma once

#include <cstdio>
#include <string>

// The calibration name of a directory entry: its name up to, not including, the first ".".
std::string calibrationName(const char* entryName);

// Opens path only when it is a regular file (following symbolic links): a directory, a FIFO or
// a device named like a calibration is passed over instead of claiming a program or blocking.
bool isRegularFile(const std::string& path);
FILE* openRegularFile(const std::string& path, const char* mode);
