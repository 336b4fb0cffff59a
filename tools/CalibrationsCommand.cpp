// xetetra calibrations: where the plug-in looks for calibrations, and installing them there.

#include "calibration/CalibrationReading.h"
#include "tools/CalibrationInstaller.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "tools/PrintableText.h"
#include "tools/SilentStandardError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

void printUsage(FILE* stream) {
    std::fprintf(stream,
                 "Usage: xetetra calibrations <list|install> [options] ...\n"
                 "Where the plug-in reads its calibrations from, and installing them there.\n\n"
                 "Commands:\n"
                 "  list     the places looked in, in order, the one in use and its programs\n"
                 "  install  check calibration files and copy them into the per-user directory\n\n"
                 "'xetetra calibrations <command> --help' describes each command.\n");
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

// What a place is to the search: the one read, or why it is not.
std::string placeStatus(const std::string& directory, int index, int inUse) {
    if (index == inUse) return "in use";
    struct stat info;
    if (stat(directory.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? "absent" : std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return "not a directory";
    // A directory before the one in use that was not taken could not be opened.
    return inUse >= 0 && index > inUse ? "not read" : "unreadable";
}

std::string padded(const std::string& text, size_t width) {
    const size_t shown = displayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

int finishOutput() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return fileError("standard output", "write failed");
    return kExitSuccess;
}

int runList(int argc, char** argv) {
    CCommandLine line("calibrations list", "",
                      "Shows the places the plug-in looks for calibrations in, in the order it\n"
                      "looks (the first that exists is read), which one is in use, the programs\n"
                      "its calibrations give, and where 'xetetra calibrations install' puts new\n"
                      "ones. The places come from the environment, as the plug-in finds them.",
                      nullptr, 0);
    int exitCode = kExitSuccess;
    if (!line.start(argc, argv, exitCode)) return exitCode;
    if (!line.operands().empty())
        return line.usageError("takes no operands, not '" + line.operands()[0] + "'");

    // The readers' notices go to standard error, as the plug-in gives them.
    const CCalibrationReading reading = readCalibrations(CCalibrationPaths::defaults());
    std::vector<std::string> directories, statuses;
    size_t directoryWidth = 0;
    for (size_t i = 0; i < reading.paths.places.size(); ++i) {
        directories.push_back(terminalText(reading.paths.places[i].directory));
        statuses.push_back(
            placeStatus(reading.paths.places[i].directory, static_cast<int>(i), reading.place));
        directoryWidth = std::max(directoryWidth, displayWidth(directories.back()));
    }
    std::printf("Places, in the order they are looked in:\n");
    for (size_t i = 0; i < directories.size(); ++i)
        std::printf("  %zu  %-20s  %s  %s\n", i + 1, reading.paths.places[i].originName(),
                    padded(directories[i], directoryWidth).c_str(), statuses[i].c_str());

    const CCalibrationPlace* inUse = reading.placeInUse();
    if (inUse == nullptr) {
        std::printf(
            "\nNo calibrations directory exists: the plug-in has no calibration programs.\n");
    } else {
        std::printf("\nPrograms from %s:\n", terminalText(inUse->directory).c_str());
        if (reading.calibrations.empty()) std::printf("  none: it holds no calibration\n");
        size_t nameWidth = 0;
        for (const auto& calibration : reading.calibrations)
            nameWidth = std::max(nameWidth, displayWidth(terminalText(calibration.programName)));
        for (const auto& calibration : reading.calibrations) {
            const std::string& file = calibration.source.file;
            const size_t slash = file.rfind('/');
            std::printf(
                "  %d  %s  %s\n", calibration.program,
                padded(terminalText(calibration.programName), nameWidth).c_str(),
                terminalText(slash == std::string::npos ? file : file.substr(slash + 1)).c_str());
        }
    }

    const CInstallDirectory install = defaultInstallDirectory(reading);
    if (install.directory.empty())
        std::printf("\n'xetetra calibrations install' has no directory to use: %s.\n",
                    terminalText(install.problem).c_str());
    else
        std::printf("\n'xetetra calibrations install' puts calibrations into %s\n",
                    terminalText(install.directory).c_str());
    return finishOutput();
}

int runInstall(int argc, char** argv) {
    const COptionSpec specs[] = {
        {"directory", "<dir>", "install into <dir>, created when missing",
         "the per-user directory in use"},
        {"force", nullptr,
         "replace a calibration of the same name (its file, and the\n"
         "coefficient files of a text calibration)",
         nullptr},
    };
    CCommandLine line(
        "calibrations install", "[options] FILE...",
        "Checks each calibration file (text *.txt with the coefficient files it names, or\n"
        "tetraproc *.tetra) with the plug-in's own readers, refuses one the plug-in would\n"
        "complain about, with the reason, and copies the others, with their coefficient\n"
        "files, into the per-user calibrations directory in use, creating it:\n"
        "  $XETETRA_CALIBRATIONS, when set;\n"
        "  else $HOME/Library/Audio/Plug-Ins/VST/calibrations, when that is the one in use;\n"
        "  else $XDG_DATA_HOME/xetetra/calibrations (~/.local/share/xetetra/calibrations).\n"
        "While the system-wide /Library/Audio/Plug-Ins/VST/calibrations exists, the plug-in\n"
        "reads only that one: install into it with --directory. Nothing is overwritten\n"
        "without --force. Exit codes: 0 all installed, 1 a file refused or not installed,\n"
        "2 a wrong command line.",
        specs);
    int exitCode = kExitSuccess;
    if (!line.start(argc, argv, exitCode)) return exitCode;
    bool force = false;
    std::string directory;
    for (const CCommandLine::COption& option : line.options()) {
        if (option.is("force")) force = true;
        if (option.is("directory")) {
            if (option.value.empty()) return line.usageError("--directory needs a directory");
            directory = option.value;
        }
    }
    if (line.operands().empty()) return line.usageError("needs at least one calibration file");

    std::string note;
    if (directory.empty()) {
        CCalibrationReading standard;
        {
            CSilentStandardError silence;
            standard = readCalibrations(CCalibrationPaths::defaults());
        }
        const CInstallDirectory place = defaultInstallDirectory(standard);
        if (place.directory.empty()) {
            std::fprintf(stderr, "xetetra calibrations install: %s\n", place.problem.c_str());
            return kExitFailure;
        }
        directory = place.directory;
        note = place.note;
    }

    CCalibrationInstaller installer(directory, force);
    int status = kExitSuccess;
    for (const std::string& file : line.operands())
        if (!installer.install(file)) status = kExitFailure;
    if (installer.installed().empty()) return status;
    if (!note.empty()) std::fprintf(stderr, "xetetra: note: %s\n", note.c_str());

    // What the plug-in now makes of them, read from the standard places as it will.
    CCalibrationReading after;
    {
        CSilentStandardError silence;
        after = readCalibrations(CCalibrationPaths::defaults());
    }
    for (const std::string& path : installer.installed()) {
        const CCalibrationReading::CCalibration* found = nullptr;
        for (const auto& calibration : after.calibrations)
            if (sameFile(calibration.source.file, path)) found = &calibration;
        if (found != nullptr) {
            std::printf("%s: program %d (%s)\n", terminalText(path).c_str(), found->program,
                        terminalText(found->programName).c_str());
            continue;
        }
        const CCalibrationPlace* inUse = after.placeInUse();
        if (inUse == nullptr)
            std::fprintf(stderr,
                         "xetetra: %s: installed, but the plug-in does not look there (see "
                         "xetetra calibrations list)\n",
                         path.c_str());
        else if (!sameFile(inUse->directory, installer.directory()))
            std::fprintf(stderr,
                         "xetetra: %s: installed, but the plug-in reads its calibrations from %s "
                         "(see xetetra calibrations list)\n",
                         path.c_str(), inUse->directory.c_str());
        else
            std::fprintf(stderr,
                         "xetetra: %s: installed, but not read: the plug-in takes six "
                         "calibrations, and those listed before it take them all\n",
                         path.c_str());
    }
    const int written = finishOutput();
    return status != kExitSuccess ? status : written;
}

} // namespace

int runCalibrations(int argc, char** argv) {
    if (argc < 1) {
        printUsage(stderr);
        return kExitUsage;
    }
    const char* command = argv[0];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 ||
        std::strcmp(command, "help") == 0) {
        printUsage(stdout);
        return kExitSuccess;
    }
    if (std::strcmp(command, "list") == 0) return runList(argc - 1, argv + 1);
    if (std::strcmp(command, "install") == 0) return runInstall(argc - 1, argv + 1);
    std::fprintf(stderr,
                 "xetetra calibrations: unknown command '%s' (see xetetra calibrations --help)\n",
                 command);
    return kExitUsage;
}
