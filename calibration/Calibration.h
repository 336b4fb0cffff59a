#pragma once

#include "calibration/CalibrationNotices.h"
#include "calibration/CalibrationPaths.h"
#include "calibration/CalibrationSource.h"
#include "dsp/FilterCoefficients.h"
#include "params/XeTetraProgram.h"

#include <memory>
#include <string>
#include <vector>

// What a calibration's post-matrix filter set does, channel by channel (W, X, Y, Z): plain values
// from which the processor builds the set's filters.
struct CFilterSetDescription {
    enum class Kind {
        kNone,       // the calibration got no set
        kRecursive,  // a text calibration's IIR filters
        kEqualisers, // a tetraproc calibration's post-matrix equalisers
    };
    // Two or three bands in series (centre in Hz, width as a fraction of the centre, gain in dB)
    // and an output gain; a channel with no band passes its signal.
    struct CBands {
        int count = 0;
        float frequency[3] = {};
        float width[3] = {};
        float gainDb[3] = {};
        float outputDb = 0.0f;
    };

    Kind kind = Kind::kNone;
    // kRecursive: the coefficients of the W channel, and those X, Y and Z share, loaded for each
    // rate a coefficient file was given for.
    std::shared_ptr<CFilterCoefficients> w, velocity;
    // kEqualisers.
    CBands channels[4];
};

// One calibration as a program: its name and parameter values, where it came from, and the
// post-matrix set it brings (numbered source.postMatrixSet, 0 when it got none).
struct CCalibration {
    AXeTetraProgram program;
    CCalibrationSource source;
    CFilterSetDescription filterSet;
};

// The calibrations the paths lead to, and every notice reading them raised.
struct CCalibrationImport {
    int place = -1; // index into the paths' places of the directory read; -1 when none opened
    std::vector<CCalibration> calibrations;
    CCalibrationNotices notices;
};

// Reads the first place of the paths that opens (saying so when none exists): its text
// calibrations, then its tetraproc ones, in the order the directory lists them. Calibration i
// starts as blanks[i], so at most blanks.size() are read; their post-matrix sets are numbered from
// firstSet while below endSet, after which a calibration gets none. Reads files only: nothing
// here knows the processor.
CCalibrationImport importCalibrations(const CCalibrationPaths& paths,
                                      const std::vector<AXeTetraProgram>& blanks, int firstSet,
                                      int endSet);
