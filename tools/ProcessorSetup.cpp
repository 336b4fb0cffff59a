#include "tools/ProcessorSetup.h"

#include "core/ProgramChunk.h"
#include "tools/SilentStandardError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {
// The bytes of base64 text (RFC 4648, whitespace between the characters ignored), or false.
bool decodeBase64(const std::vector<uint8_t>& text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    uint32_t bits = 0;
    int count = 0;
    bool ended = false;
    for (uint8_t c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        if (c == '=') {
            ended = true;
            continue;
        }
        int value = -1;
        if (c >= 'A' && c <= 'Z') value = c - 'A';
        if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
        if (c >= '0' && c <= '9') value = c - '0' + 52;
        if (c == '+') value = 62;
        if (c == '/') value = 63;
        if (value < 0 || ended) return false;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        if (++count % 4 == 0) {
            bytes.push_back(static_cast<uint8_t>(bits >> 16));
            bytes.push_back(static_cast<uint8_t>(bits >> 8));
            bytes.push_back(static_cast<uint8_t>(bits));
            bits = 0;
        }
    }
    if (count % 4 == 1) return false;
    if (count % 4 == 2) bytes.push_back(static_cast<uint8_t>(bits >> 4));
    if (count % 4 == 3) {
        bytes.push_back(static_cast<uint8_t>(bits >> 10));
        bytes.push_back(static_cast<uint8_t>(bits >> 2));
    }
    return true;
}

// A saved state: the chunk's bytes, or their base64 text when the file is not the bytes
// themselves. A state is a few kilobytes; anything much larger is the wrong file.
bool readStateFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& problem) {
    constexpr size_t kMaxStateFile = 1 << 20;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        problem = std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> content(kMaxStateFile + 1);
    const size_t got = std::fread(content.data(), 1, content.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        problem = "cannot be read";
        return false;
    }
    if (got > kMaxStateFile) {
        problem = "is too large to be a saved state";
        return false;
    }
    content.resize(got);
    const bool raw = got >= 4 && std::memcmp(content.data(), CProgramChunk::kMagic, 4) == 0;
    if (raw || !decodeBase64(content, bytes)) bytes = content;
    if (bytes.empty()) {
        problem = "is empty";
        return false;
    }
    return true;
}

} // namespace

const COptionSpec CProcessorSetup::kProgramOption = {
    "program", "<n|name>", "program by number 0-7 or by name (see xetetra programs)", "0"};
const COptionSpec CProcessorSetup::kCalibrationsOption = {
    "calibrations", "<dir>", "read text and .tetra calibrations from <dir> only",
    "the standard places (see xetetra calibrations list)"};
const COptionSpec CProcessorSetup::kStateOption = {
    "state", "<file>",
    "start from the plug-in state a host saved (its chunk: raw bytes, or base64 text)\n"
    "a bank: every program, its current one selected (--program picks another)\n"
    "a single program: used as it is",
    nullptr};
const COptionSpec CProcessorSetup::kSetOption = {
    "set", "<param=value>",
    "set a parameter (0-50 or its name) to a value 0..1 after the program; repeatable", nullptr};
const COptionSpec CProcessorSetup::kOrderOption = {
    "order", "<fuma|ambix>",
    "channel order and weights of the outputs (the plug-in's Output Order)\n"
    "fuma: W, X, Y, Z\n"
    "ambix: ACN order W, Y, Z, X with SN3D weights (W raised by 3 dB)",
    "the program's"};
const COptionSpec CProcessorSetup::kOrientationOption = {
    "orientation", "<mount>",
    "how the capsule array stood (the plug-in's Orientation)\n"
    "upright: standing as calibrated, nothing changes\n"
    "inverted: hung upside down: a half turn about X, Y and Z change sign\n"
    "endfire: array axis pointing forward: X takes Z, Z takes -X (as tetrafile --endf)",
    "the program's"};
const COptionSpec CProcessorSetup::kInvertOption = {
    "invert", "<axes>",
    "flip the named axes after the orientation (the plug-in's Invert X, Y, Z)\n"
    "any of x, y, z, e.g. y or xz, the others unflipped; none flips no axis",
    "the program's"};

bool CProcessorSetup::take(const CCommandLine& line, const CCommandLine::COption& option,
                           int& status) {
    if (option.is("program")) {
        if (option.value.empty()) status = line.usageError("--program needs a number or a name");
        program = option.value;
        programGiven = true;
        return true;
    }
    if (option.is("state")) {
        if (option.value.empty()) status = line.usageError("--state needs a file");
        statePath = option.value;
        return true;
    }
    if (option.is("calibrations")) {
        if (option.value.empty()) status = line.usageError("--calibrations needs a directory");
        calibrationsGiven = true;
        calibrations = option.value;
        return true;
    }
    if (option.is("set")) {
        const size_t equals = option.value.find('=');
        double value = 0.0;
        if (equals == std::string::npos || equals == 0) {
            status = line.usageError("--set '" + option.value + "' is not PARAMETER=VALUE");
        } else if (!parseDouble(option.value.substr(equals + 1), value) || value < 0.0 ||
                   value > 1.0) {
            status = line.usageError("--set '" + option.value +
                                     "': the value must be a number from 0 to 1");
        } else {
            settings.emplace_back(option.value.substr(0, equals), static_cast<float>(value));
        }
        return true;
    }
    if (option.is("order")) {
        if (option.value != "fuma" && option.value != "ambix")
            status = line.usageError("--order takes fuma or ambix, not '" + option.value + "'");
        else
            settings.emplace_back(std::to_string(kOutputOrder),
                                  option.value == "ambix" ? 1.0f : 0.0f);
        return true;
    }
    if (option.is("orientation")) {
        static const char* const mounts[3] = {"upright", "inverted", "endfire"};
        int mount = -1;
        for (int m = 0; m < 3; ++m)
            if (option.value == mounts[m]) mount = m;
        if (mount < 0)
            status = line.usageError("--orientation takes upright, inverted or endfire, not '" +
                                     option.value + "'");
        else
            settings.emplace_back(std::to_string(kOrientation), orientation2parm(mount));
        return true;
    }
    if (option.is("invert")) {
        bool named[3] = {false, false, false};
        bool valid = !option.value.empty();
        if (option.value != "none") {
            for (char axis : option.value) {
                const int k = axis == 'x' || axis == 'X'   ? 0
                              : axis == 'y' || axis == 'Y' ? 1
                              : axis == 'z' || axis == 'Z' ? 2
                                                           : -1;
                if (k < 0 || named[k]) valid = false;
                if (k >= 0) named[k] = true;
            }
        }
        if (!valid) {
            status = line.usageError("--invert takes the axes x, y, z, each at most once, or none, "
                                     "not '" +
                                     option.value + "'");
            return true;
        }
        for (int k = 0; k < 3; ++k)
            settings.emplace_back(std::to_string(kInvertX + k), named[k] ? 1.0f : 0.0f);
        return true;
    }
    return false;
}

std::unique_ptr<AXeTetra> CProcessorSetup::construct(int& status, bool quiet) const {
    CCalibrationPaths paths = CCalibrationPaths::defaults();
    if (calibrationsGiven) {
        struct stat info;
        if (stat(calibrations.c_str(), &info) != 0) {
            status = fileError(calibrations, std::strerror(errno));
            return nullptr;
        }
        if (!S_ISDIR(info.st_mode)) {
            status = fileError(calibrations, "not a directory");
            return nullptr;
        }
        paths = CCalibrationPaths::only(calibrations);
    }
    if (!quiet) return std::make_unique<AXeTetra>(nullptr, paths);
    CSilentStandardError silence;
    return std::make_unique<AXeTetra>(nullptr, paths);
}

bool CProcessorSetup::resolveProgram(AXeTetra& processor, const CCommandLine& line,
                                     int& status) const {
    long number = 0;
    if (parseLong(program, number)) {
        if (number < 0 || number >= kNumPrograms) {
            status = line.usageError("no program " + program + " (programs are 0 to 7)");
            return false;
        }
        selectedProgram = static_cast<int>(number);
        return true;
    }
    // An exact name first; a name that differs only in case if exactly one program has it.
    int caseless = -1, caselessCount = 0;
    for (int i = 0; i < kNumPrograms; ++i) {
        char name[AudioEffect::kScratchSize] = {};
        processor.getProgramNameIndexed(0, i, name);
        if (program == name) {
            selectedProgram = i;
            return true;
        }
        if (equalsIgnoringCase(program, name)) {
            caseless = i;
            ++caselessCount;
        }
    }
    if (caselessCount == 1) {
        selectedProgram = caseless;
        return true;
    }
    status = line.usageError("no program named '" + program + "' (see xetetra programs)");
    return false;
}

std::unique_ptr<AXeTetra> CProcessorSetup::build(const CCommandLine& line, float rate, int& status,
                                                 bool quiet) const {
    std::unique_ptr<AXeTetra> processor = construct(status, quiet);
    if (!processor) return nullptr;
    // The order a host follows: rate, the session's state, program, then single parameters.
    processor->setSampleRate(rate);
    if (!statePath.empty()) {
        if (!restoreState(*processor, line, status)) return nullptr;
        selectedProgram = processor->getProgram();
    }
    if (statePath.empty() || programGiven) {
        // Program names are looked up after the state has brought its own.
        if (!resolveProgram(*processor, line, status)) return nullptr;
        processor->setProgram(selectedProgram);
    }
    for (const auto& setting : settings) {
        long index = -1;
        if (!parseLong(setting.first, index)) {
            for (int i = 0; i < kNumParams; ++i) {
                char name[AudioEffect::kScratchSize] = {};
                processor->getParameterName(i, name);
                if (equalsIgnoringCase(setting.first, name)) index = i;
            }
        }
        if (index < 0 || index >= kNumParams) {
            status = line.usageError("no parameter '" + setting.first + "' (parameters are 0 to " +
                                     std::to_string(kNumParams - 1) + ", or their names)");
            return nullptr;
        }
        processor->setParameter(static_cast<VstInt32>(index), setting.second);
        // A filter number that names no set selects nothing; the run would silently use the
        // program's set instead.
        if (index == kPreMatrixFilter || index == kPostMatrixFilter) {
            const int wanted = oneMAXFILTERConvert(setting.second);
            const bool post = index == kPostMatrixFilter;
            const int selected =
                post ? processor->GetCoincidenceFilter() : processor->GetCapCompFilter();
            if (selected != wanted) {
                char value[32];
                std::snprintf(value, sizeof(value), "%g", static_cast<double>(setting.second));
                std::string message = "--set " + setting.first + "=" + value + ": there is no " +
                                      (post ? "post" : "pre") + "-matrix set " +
                                      std::to_string(wanted);
                if (post)
                    message +=
                        ", only 0 to " + std::to_string(processor->GetNumPostMatrixSets() - 1);
                status = line.usageError(message);
                return nullptr;
            }
        }
    }
    return processor;
}

bool CProcessorSetup::restoreState(AXeTetra& processor, const CCommandLine& line,
                                   int& status) const {
    if (stateBytes.empty()) {
        std::string problem;
        if (!readStateFile(statePath, stateBytes, problem)) {
            stateBytes.clear();
            status = fileError(statePath, problem);
            return false;
        }
    }
    CProgramChunk chunk;
    std::string problem;
    if (!chunk.read(stateBytes.data(), stateBytes.size(), problem)) {
        status = fileError(statePath, "not a state to restore: " + problem);
        return false;
    }
    const bool single = chunk.kind == CProgramChunk::kProgram;
    if (single && programGiven) {
        status = line.usageError("--program picks a program of a bank, but " + statePath +
                                 " holds a single program");
        return false;
    }
    if (processor.setChunk(stateBytes.data(), static_cast<VstInt32>(stateBytes.size()), single) !=
        1) {
        status = fileError(statePath, "the processor did not take the state");
        return false;
    }
    return true;
}

std::string CProcessorSetup::programName(AXeTetra& processor) const {
    char name[AudioEffect::kScratchSize] = {};
    processor.getProgramNameIndexed(0, selectedProgram, name);
    return name;
}

std::unique_ptr<AXeTetra>
CProcessorSetup::splitAtPostMatrix(AXeTetra& whole, const CCommandLine& line, float rate) const {
    const bool before = parm2bool(whole.getParameter(kLFEnabled)) ||
                        parm2bool(whole.getParameter(kEQsEnabled)) ||
                        parm2bool(whole.getParameter(kABMatrixEnabled));
    if (whole.GetCoincidenceFilter() <= 0 || !before) return nullptr;
    int status = kExitSuccess;
    std::unique_ptr<AXeTetra> after = build(line, rate, status, true);
    if (!after || after->GetCoincidenceFilter() != whole.GetCoincidenceFilter()) return nullptr;
    after->setParameter(kLFEnabled, 0.0f);
    after->setParameter(kEQsEnabled, 0.0f);
    after->setParameter(kABMatrixEnabled, 0.0f);
    whole.setParameter(kPostMatrixFilter, filter2parm(0));
    // The output map follows the set: only the second part turns and reorders.
    for (int index = kOutputOrder; index < kNumParams; ++index)
        whole.setParameter(index, 0.0f);
    return after;
}
