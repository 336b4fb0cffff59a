// xetetra: the plug-in's processor on the command line.

#include "tools/CommandLine.h"
#include "tools/Commands.h"

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {
void printUsage(FILE* stream) {
    std::fprintf(stream,
                 "Usage: xetetra <command> [options] ...\n"
                 "The XeTetraVST processor without a host.\n\n"
                 "Commands:\n"
                 "  convert       A-format recording to B-format\n"
                 "  programs      list the 8 programs and what they select\n"
                 "  response      plot or tabulate the magnitude and group delay of a program\n"
                 "  generate      write a test A-format recording of a source from a direction\n"
                 "  calibrations  where calibrations are read from (list), and installing them\n"
                 "                (install)\n\n"
                 "'xetetra <command> --help' describes each command.\n");
}
} // namespace

int main(int argc, char** argv) {
    // Past a file size limit a write should fail and be reported, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 ||
        std::strcmp(command, "help") == 0) {
        printUsage(stdout);
        return kExitSuccess;
    }
    if (std::strcmp(command, "convert") == 0) return runConvert(argc - 2, argv + 2);
    if (std::strcmp(command, "programs") == 0) return runPrograms(argc - 2, argv + 2);
    if (std::strcmp(command, "response") == 0) return runResponse(argc - 2, argv + 2);
    if (std::strcmp(command, "generate") == 0) return runGenerate(argc - 2, argv + 2);
    if (std::strcmp(command, "calibrations") == 0) return runCalibrations(argc - 2, argv + 2);
    std::fprintf(stderr, "xetetra: unknown command '%s' (see xetetra --help)\n", command);
    return kExitUsage;
}
