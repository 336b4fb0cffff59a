#pragma once

#include "core/XeTetra.h"
#include "tools/CommandLine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// What the options --program, --calibrations, --state, --set, --order, --orientation and
// --invert ask of the processor, and the processor built from them: the very object the plug-in
// runs, without a host. The last three are the plug-in's output parameters by name.
class CProcessorSetup {
public:
    // The help lines of the options, for the subcommands' option tables.
    static const COptionSpec kProgramOption;
    static const COptionSpec kCalibrationsOption;
    static const COptionSpec kStateOption;
    static const COptionSpec kSetOption;
    static const COptionSpec kOrderOption;
    static const COptionSpec kOrientationOption;
    static const COptionSpec kInvertOption;

    // Takes the option if it is one of these; false otherwise. A malformed value is a usage
    // error: `status` is set to kExitUsage after it has been reported.
    bool take(const CCommandLine& line, const CCommandLine::COption& option, int& status);

    // Builds the processor at the rate, restores the --state, selects the program and applies the
    // --set values and output options in the order given. Answers null with `status` set after
    // reporting a problem (unknown program or parameter, calibrations directory that is not one, a
    // state file that is not one).
    std::unique_ptr<AXeTetra> build(const CCommandLine& line, float rate, int& status,
                                    bool quiet = false) const;

    // The processor with its calibrations read and nothing selected yet: for listing programs.
    std::unique_ptr<AXeTetra> construct(int& status, bool quiet = false) const;

    // Splits a built processor at its post-matrix set, so that two threads can share the work:
    // `whole` keeps the capsule filters and the matrix, the answer runs the post-matrix set and
    // the output map alone.
    // The chain runs its stages one after the other on the block in place, so the two in series
    // give the samples of the whole. Null, with `whole` unchanged, when there is nothing to split:
    // no set selected, or nothing running before it.
    std::unique_ptr<AXeTetra> splitAtPostMatrix(AXeTetra& whole, const CCommandLine& line,
                                                float rate) const;

    int programNumber() const { return selectedProgram; }
    std::string programName(AXeTetra& processor) const;

private:
    bool resolveProgram(AXeTetra& processor, const CCommandLine& line, int& status) const;
    // Restores the state file into the processor as a host would (read once, then kept).
    bool restoreState(AXeTetra& processor, const CCommandLine& line, int& status) const;

    std::string program = "0";
    bool programGiven = false;
    std::string statePath;
    mutable std::vector<uint8_t> stateBytes;
    bool calibrationsGiven = false;
    std::string calibrations;
    // Parameter by number or name, and the host value; the output options add theirs by number.
    std::vector<std::pair<std::string, float>> settings;
    mutable int selectedProgram = 0;
};
