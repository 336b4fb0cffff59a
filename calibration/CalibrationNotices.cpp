#include "calibration/CalibrationNotices.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

void CCalibrationNotices::add(const char* format, ...) {
    char text[kMaxLength];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    if (std::find(notices.begin(), notices.end(), text) == notices.end())
        notices.emplace_back(text);
}
