// xetetra programs: the 8 programs and what each selects.

#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "tools/PrintableText.h"
#include "tools/ProcessorSetup.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// What one program selects, read back from the processor after selecting it.
struct CProgramSummary {
    int index = 0;
    std::string name;
    int postMatrixSet = 0;
    std::string postMatrixSetName;
    long latency = 0;
    bool matrix = false;
    bool lf = false;
    float lfCut = 0.0f, lfBoost = 0.0f; // Hz
    bool eq = false;
    float eqFreq[4] = {}, eqWidth[4] = {}, eqGain[4] = {}; // Hz, octaves, dB
    std::string calibrationFile; // the file a calibration program came from, else empty
    std::string calibrationDirectory;
    COutputFormat output;
};

CProgramSummary summarise(AXeTetra& processor, int program) {
    processor.setProgram(program);
    CProgramSummary s;
    s.index = program;
    char text[AudioEffect::kScratchSize] = {};
    processor.getProgramNameIndexed(0, program, text);
    s.name = text;
    s.postMatrixSet = processor.GetCoincidenceFilter();
    const char* setName = processor.GetPostMatrixSetName(s.postMatrixSet);
    s.postMatrixSetName = setName != nullptr ? setName : "";
    s.latency = processor.GetPostMatrixLatency();
    if (const CCalibrationSource* source = processor.GetCalibrationSource(program)) {
        s.calibrationFile = source->file;
        s.calibrationDirectory = source->directory;
    }
    s.matrix = parm2bool(processor.getParameter(kABMatrixEnabled));
    s.lf = parm2bool(processor.getParameter(kLFEnabled));
    s.lfCut = oneLOWFREQConvert(processor.getParameter(kLFCutFreq));
    s.lfBoost = oneLOWFREQConvert(processor.getParameter(kLFBoostFreq));
    s.eq = parm2bool(processor.getParameter(kEQsEnabled));
    for (int c = 0; c < 4; ++c) {
        const int base = kCapsuleBase + kParamsPerCapsule * c;
        s.eqFreq[c] = oneMAXFREQConvert(processor.getParameter(base + kCapEQFreq));
        s.eqWidth[c] = parm2width(processor.getParameter(base + kCapEQWidth));
        s.eqGain[c] = parm2PlusMinus15(processor.getParameter(base + kCapEQGain));
    }
    s.output = processor.GetOutputFormat();
    return s;
}

std::string format(const char* pattern, double a, double b = 0.0, double c = 0.0) {
    char text[128];
    std::snprintf(text, sizeof(text), pattern, a, b, c);
    return text;
}

std::string eqText(const CProgramSummary& s) {
    if (!s.eq) return "off";
    bool same = true;
    for (int c = 1; c < 4; ++c)
        same = same && s.eqFreq[c] == s.eqFreq[0] && s.eqWidth[c] == s.eqWidth[0] &&
               s.eqGain[c] == s.eqGain[0];
    if (same)
        return "on " +
               format("%.1f Hz, %.2f oct, %+.1f dB", s.eqFreq[0], s.eqWidth[0], s.eqGain[0]);
    std::string text = "on";
    for (int c = 0; c < 4; ++c)
        text += (c == 0 ? " " : "; ") + std::to_string(c + 1) + ": " +
                format("%.1f Hz, %.2f oct, %+.1f dB", s.eqFreq[c], s.eqWidth[c], s.eqGain[c]);
    return text;
}

std::string lfText(const CProgramSummary& s) {
    return s.lf ? "on " + format("cut %.1f Hz, boost %.1f Hz", s.lfCut, s.lfBoost) : "off";
}

// "FuMa", or "ambiX, endfire, axes flipped: y".
std::string outputText(const CProgramSummary& s) {
    std::string text = COutputFormat::orderName(s.output.ambix);
    const std::string orientation = s.output.describeOrientation();
    return orientation.empty() ? text : text + ", " + orientation;
}

std::string jsonNumber(float value) {
    // JSON has no infinity; a calibration can store values whose conversion overflows.
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(value));
    return text;
}

// The text padded with spaces to `width` characters on the terminal.
std::string padded(const std::string& text, size_t width) {
    const size_t shown = displayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

// Where the calibration programs came from: the directory read, and the file of each program.
void printSources(const CProgramSummary* programs, const AXeTetra& processor) {
    const CCalibrationPlace* place = processor.GetCalibrationPlace();
    if (place == nullptr) {
        std::printf("\nNo calibrations directory found (see xetetra calibrations list).\n");
        return;
    }
    std::printf("\nCalibrations from %s", terminalText(place->directory).c_str());
    if (place->origin != CCalibrationPlace::Origin::kGiven)
        std::printf(" (%s)", place->originName());
    std::printf(":%s\n", programs[2].calibrationFile.empty() ? " none" : "");
    for (int i = 0; i < kNumPrograms; ++i) {
        const std::string& file = programs[i].calibrationFile;
        if (file.empty()) continue;
        const size_t slash = file.rfind('/');
        std::printf(
            "  %d  %s\n", i,
            terminalText(slash == std::string::npos ? file : file.substr(slash + 1)).c_str());
    }
}

void printTable(const CProgramSummary* programs) {
    // Names come from file names: shown escaped, aligned by the characters they take up.
    std::string names[kNumPrograms], sets[kNumPrograms], outputs[kNumPrograms];
    size_t nameWidth = 4, setWidth = 15, outputWidth = 6;
    for (int i = 0; i < kNumPrograms; ++i) {
        names[i] = terminalText(programs[i].name);
        sets[i] = terminalText(programs[i].postMatrixSetName);
        outputs[i] = outputText(programs[i]);
        if (displayWidth(names[i]) > nameWidth) nameWidth = displayWidth(names[i]);
        if (displayWidth(sets[i]) > setWidth) setWidth = displayWidth(sets[i]);
        if (outputs[i].size() > outputWidth) outputWidth = outputs[i].size();
    }
    std::printf("%-2s  %s  %s  %7s  %-6s  %s  %-30s  %s\n", "#", padded("Name", nameWidth).c_str(),
                padded("Post-matrix set", setWidth).c_str(), "Latency", "Matrix",
                padded("Output", outputWidth).c_str(), "LF", "EQ");
    for (int i = 0; i < kNumPrograms; ++i) {
        const CProgramSummary& s = programs[i];
        std::printf("%-2d  %s  %s  %7ld  %-6s  %s  %-30s  %s\n", s.index,
                    padded(names[i], nameWidth).c_str(), padded(sets[i], setWidth).c_str(),
                    s.latency, s.matrix ? "on" : "off", padded(outputs[i], outputWidth).c_str(),
                    lfText(s).c_str(), eqText(s).c_str());
    }
}

void printJson(const CProgramSummary* programs) {
    std::printf("[\n");
    for (int i = 0; i < kNumPrograms; ++i) {
        const CProgramSummary& s = programs[i];
        std::printf("  {\"index\": %d, \"name\": %s,\n", s.index, jsonString(s.name).c_str());
        std::printf("   \"postMatrixSet\": {\"index\": %d, \"name\": %s, \"latency\": %ld},\n",
                    s.postMatrixSet, jsonString(s.postMatrixSetName).c_str(), s.latency);
        if (s.calibrationFile.empty())
            std::printf("   \"calibration\": null,\n");
        else
            std::printf("   \"calibration\": {\"file\": %s, \"directory\": %s},\n",
                        jsonString(s.calibrationFile).c_str(),
                        jsonString(s.calibrationDirectory).c_str());
        std::printf("   \"matrix\": %s,\n", s.matrix ? "true" : "false");
        static const char* const orientations[3] = {"upright", "inverted", "endfire"};
        std::printf("   \"output\": {\"order\": \"%s\", \"orientation\": \"%s\", \"invert\": "
                    "{\"x\": %s, \"y\": %s, \"z\": %s}},\n",
                    s.output.ambix ? "ambix" : "fuma", orientations[s.output.orientation],
                    s.output.invert[0] ? "true" : "false", s.output.invert[1] ? "true" : "false",
                    s.output.invert[2] ? "true" : "false");
        std::printf("   \"lf\": {\"enabled\": %s, \"cutHz\": %s, \"boostHz\": %s},\n",
                    s.lf ? "true" : "false", jsonNumber(s.lfCut).c_str(),
                    jsonNumber(s.lfBoost).c_str());
        std::printf("   \"eq\": {\"enabled\": %s, \"capsules\": [", s.eq ? "true" : "false");
        for (int c = 0; c < 4; ++c)
            std::printf("%s{\"freqHz\": %s, \"widthOctaves\": %s, \"gainDb\": %s}",
                        c == 0 ? "" : ", ", jsonNumber(s.eqFreq[c]).c_str(),
                        jsonNumber(s.eqWidth[c]).c_str(), jsonNumber(s.eqGain[c]).c_str());
        std::printf("]}}%s\n", i + 1 < kNumPrograms ? "," : "");
    }
    std::printf("]\n");
}

} // namespace

int runPrograms(int argc, char** argv) {
    const COptionSpec specs[] = {
        CProcessorSetup::kCalibrationsOption,
        {"json", nullptr, "print JSON for scripts instead of a table", nullptr},
    };
    CCommandLine line("programs", "[options]",
                      "Lists the 8 programs: the two factory programs, one per calibration found,\n"
                      "then user programs, with the post-matrix filter set, output format (order,\n"
                      "orientation, flipped axes), low-frequency filter and capsule equaliser\n"
                      "each selects, and the calibration file each calibration program came from.",
                      specs);
    int exitCode = kExitSuccess;
    if (!line.start(argc, argv, exitCode)) return exitCode;
    CProcessorSetup setup;
    bool json = false;
    int status = kExitSuccess;
    for (const CCommandLine::COption& option : line.options()) {
        if (setup.take(line, option, status)) {
            if (status != kExitSuccess) return status;
        } else if (option.is("json")) {
            json = true;
        }
    }
    if (!line.operands().empty())
        return line.usageError("takes no operands, not '" + line.operands()[0] + "'");
    std::unique_ptr<AXeTetra> processor = setup.construct(status);
    if (!processor) return status;
    processor->setSampleRate(48000.0f);
    CProgramSummary programs[kNumPrograms];
    for (int i = 0; i < kNumPrograms; ++i)
        programs[i] = summarise(*processor, i);
    if (json) {
        printJson(programs);
    } else {
        printTable(programs);
        printSources(programs, *processor);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return fileError("standard output", "write failed");
    return kExitSuccess;
}
