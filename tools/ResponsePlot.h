#pragma once

#include "tools/ResponseCurves.h"

#include <string>

class COutputFile;

// Draws the curves as a PNG: magnitude (dB) above, group delay (ms) below, both over a
// logarithmic frequency axis, one colour per output, with labelled axes and a title.
class CResponsePlot {
public:
    CResponsePlot(const CResponseCurves& curves, const std::string& title);
    // Writes the PNG into the created output file; reports and answers false on failure.
    bool write(COutputFile& output) const;

    static constexpr int kWidth = 1200;
    static constexpr int kHeight = 860;

private:
    const CResponseCurves& curves;
    std::string title;
};
