// xetetra response: magnitude and group delay of a program's four output chains.

#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "tools/OutputFile.h"
#include "tools/ProcessorSetup.h"
#include "tools/ResponseCurves.h"
#include "tools/ResponsePlot.h"

#include <cstdio>
#include <string>

int runResponse(int argc, char** argv) {
    const COptionSpec specs[] = {
        CProcessorSetup::kProgramOption,
        CProcessorSetup::kCalibrationsOption,
        CProcessorSetup::kStateOption,
        CProcessorSetup::kSetOption,
        CProcessorSetup::kOrderOption,
        CProcessorSetup::kOrientationOption,
        CProcessorSetup::kInvertOption,
        {"rate", "<hz>", "sample rate the processor runs at, 1000 to 768000", "48000"},
        {"csv", nullptr,
         "write the numbers as CSV instead of a PNG plot (OUTPUT - for standard output)", nullptr},
        {"force", nullptr, "replace an existing output file (a regular file with no other links)",
         nullptr},
    };
    CCommandLine line(
        "response", "[options] OUTPUT",
        "Measures each output's chain of a program through the processor itself, from an\n"
        "impulse: the four capsules get 1/4 each, with the signs of the matrix row feeding that\n"
        "output (W + + + +, X + + - -, Y + - + -, Z + - - +), so with equal capsule gains the\n"
        "other rows stay silent and 0 dB means the output equals that signed mean of the\n"
        "capsules. The outputs are in the program's order (ambiX: W 3 dB up, ACN 0 to 3).\n"
        "Plots magnitude (dB) and group delay (ms, including any correction set's delay) over\n"
        "a logarithmic frequency axis from 10 Hz to half the rate.",
        specs);
    int exitCode = kExitSuccess;
    if (!line.start(argc, argv, exitCode)) return exitCode;
    CProcessorSetup setup;
    double rate = 48000.0;
    bool csv = false, force = false;
    int status = kExitSuccess;
    for (const CCommandLine::COption& option : line.options()) {
        if (setup.take(line, option, status)) {
            if (status != kExitSuccess) return status;
        } else if (option.is("rate")) {
            if (!parseDouble(option.value, rate) || rate < 1000.0 || rate > 768000.0)
                return line.usageError("--rate takes a rate from 1000 to 768000 Hz, not '" +
                                       option.value + "'");
        } else if (option.is("csv")) {
            csv = true;
        } else if (option.is("force")) {
            force = true;
        }
    }
    if (line.operands().size() != 1) return line.usageError("needs one OUTPUT");
    const std::string& outputPath = line.operands()[0];
    const bool toStandardOutput = csv && outputPath == "-";

    COutputFile output(outputPath, force);
    if (!toStandardOutput && !output.checkDestination({})) return kExitFailure;

    std::unique_ptr<AXeTetra> processor = setup.build(line, static_cast<float>(rate), status);
    if (!processor) return status;
    CResponseCurves curves;
    curves.measure(*processor, rate);

    if (toStandardOutput) {
        const std::string text = curves.csv();
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
            std::fflush(stdout) != 0)
            return fileError("standard output", "write failed");
        return kExitSuccess;
    }
    if (!output.create()) return kExitFailure;
    if (csv) {
        const std::string text = curves.csv();
        if (!output.writeAll(text.data(), text.size())) return kExitFailure;
    } else {
        const char* set = processor->GetPostMatrixSetName(processor->GetCoincidenceFilter());
        const COutputFormat& format = curves.format;
        std::string outputs = COutputFormat::orderName(format.ambix);
        if (!format.describeOrientation().empty()) outputs += ", " + format.describeOrientation();
        char title[512];
        std::snprintf(title, sizeof(title),
                      "Program %d \"%s\" at %.0f Hz: post-matrix set \"%s\", latency %ld "
                      "samples, %s",
                      setup.programNumber(), setup.programName(*processor).c_str(), rate,
                      set != nullptr ? set : "", processor->GetPostMatrixLatency(),
                      outputs.c_str());
        if (!CResponsePlot(curves, title).write(output)) return kExitFailure;
    }
    return output.commit() ? kExitSuccess : kExitFailure;
}
