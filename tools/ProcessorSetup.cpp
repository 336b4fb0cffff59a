#include "tools/ProcessorSetup.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Standard error sent to /dev/null while the object lives: a second processor built from the same
// calibrations repeats the messages the first has printed.
class CSilentStandardError {
public:
    CSilentStandardError() : saved(dup(STDERR_FILENO)) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
            close(null);
        }
    }
    ~CSilentStandardError() {
        if (saved < 0) return;
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
    CSilentStandardError(const CSilentStandardError&) = delete;
    CSilentStandardError& operator=(const CSilentStandardError&) = delete;

private:
    int saved;
};
} // namespace

const COptionSpec CProcessorSetup::kProgramOption = {
    "program", "<n|name>", "program by number 0-7 or by name (see xetetra programs)", "0"};
const COptionSpec CProcessorSetup::kCalibrationsOption = {
    "calibrations", "<dir>", "read text and .tetra calibrations from <dir> only",
    "the standard directories"};
const COptionSpec CProcessorSetup::kSetOption = {
    "set", "<param=value>",
    "set a parameter (0-45 or its name) to a value 0..1 after the program; repeatable", nullptr};

bool CProcessorSetup::take(const CCommandLine& line, const CCommandLine::COption& option,
                           int& status) {
    if (option.is("program")) {
        if (option.value.empty()) status = line.usageError("--program needs a number or a name");
        program = option.value;
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
    if (!resolveProgram(*processor, line, status)) return nullptr;
    // The order a host follows: rate, program, then single parameters.
    processor->setSampleRate(rate);
    processor->setProgram(selectedProgram);
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
            status = line.usageError("no parameter '" + setting.first +
                                     "' (parameters are 0 to 45, or their names)");
            return nullptr;
        }
        processor->setParameter(static_cast<VstInt32>(index), setting.second);
    }
    return processor;
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
    return after;
}
