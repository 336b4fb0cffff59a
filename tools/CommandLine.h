#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Exit codes of every subcommand. kExitEndedEarly: converted, but an input held fewer frames
// than its header announced (the output has what was there).
enum { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2, kExitEndedEarly = 3 };

// One option a subcommand accepts, as its help shows it: "--name <argument>  help [default]".
struct COptionSpec {
    const char* name;         // without the leading dashes
    const char* argument;     // placeholder of its argument; null for a switch
    const char* help;         // lines after the first are further descriptions, one per line
    const char* defaultValue; // null when there is none worth showing
};

// The options and operands of one subcommand's command line. Options may come before, between or
// after the operands; "--" ends them; "--name=value" and "--name value" are the same.
class CCommandLine {
public:
    CCommandLine(const char* command, const char* usage, const char* description,
                 const COptionSpec* specs, int specCount);
    template <int N>
    CCommandLine(const char* command, const char* usage, const char* description,
                 const COptionSpec (&specs)[N])
        : CCommandLine(command, usage, description, specs, N) {}

    // Splits argv (the subcommand's arguments, without the subcommand itself). Answers false on
    // a usage error, which it has reported; helpRequested() tells whether --help was given.
    bool parse(int argc, char** argv);
    bool helpRequested() const { return help; }
    // Parses, and prints the help when asked for it. Answers true when the command goes on;
    // otherwise `status` holds its exit code.
    bool start(int argc, char** argv, int& status);
    void printHelp(FILE* stream) const;

    // Reports "xetetra <command>: <message> (see --help)" on one line and answers kExitUsage.
    int usageError(const std::string& message) const;

    struct COption {
        const COptionSpec* definition;
        std::string value;
        bool is(const char* name) const;
    };
    const std::vector<COption>& options() const { return found; }
    const std::vector<std::string>& operands() const { return positional; }
    const char* command() const { return commandName; }

private:
    const COptionSpec* lookup(const std::string& name) const;

    const char* commandName;
    const char* usageText;
    const char* descriptionText;
    const COptionSpec* specs;
    int specCount;
    bool help = false;
    std::vector<COption> found;
    std::vector<std::string> positional;
};

// Reports "xetetra: <file>: <problem>" on standard error and answers kExitFailure.
int fileError(const std::string& file, const std::string& problem);

// Whole-string number parsing; false for anything but a number with nothing after it.
bool parseLong(const std::string& text, long& value);
bool parseDouble(const std::string& text, double& value);

// Case-insensitive ASCII comparison.
bool equalsIgnoringCase(const std::string& a, const std::string& b);
