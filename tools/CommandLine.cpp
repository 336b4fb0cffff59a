#include "tools/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

CCommandLine::CCommandLine(const char* command, const char* usage, const char* description,
                           const COptionSpec* optionSpecs, int count)
    : commandName(command), usageText(usage), descriptionText(description), specs(optionSpecs),
      specCount(count) {}

bool CCommandLine::COption::is(const char* name) const {
    return std::strcmp(definition->name, name) == 0;
}

const COptionSpec* CCommandLine::lookup(const std::string& name) const {
    for (int i = 0; i < specCount; ++i)
        if (name == specs[i].name) return &specs[i];
    return nullptr;
}

bool CCommandLine::parse(int argc, char** argv) {
    // --help wins over anything else on the line, so a wrong line can still ask for it.
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            help = true;
            return true;
        }
    }
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] != '-') {
            usageError("unknown option '" + arg + "'");
            return false;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
        const COptionSpec* definition = lookup(name);
        if (definition == nullptr) {
            usageError("unknown option '--" + name + "'");
            return false;
        }
        COption option{definition, std::string()};
        if (definition->argument == nullptr) {
            if (equals != std::string::npos) {
                usageError("--" + name + " takes no value");
                return false;
            }
        } else if (equals != std::string::npos) {
            option.value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            option.value = argv[++i];
        } else {
            usageError("--" + name + " needs " + definition->argument);
            return false;
        }
        found.push_back(option);
    }
    return true;
}

void CCommandLine::printHelp(FILE* stream) const {
    std::fprintf(stream, "Usage: xetetra %s %s\n%s\n\nOptions:\n", commandName, usageText,
                 descriptionText);
    std::vector<std::string> heads;
    size_t width = 0;
    for (int i = 0; i < specCount; ++i) {
        std::string head = std::string("--") + specs[i].name;
        if (specs[i].argument != nullptr) head += std::string(" ") + specs[i].argument;
        width = head.size() > width ? head.size() : width;
        heads.push_back(head);
    }
    heads.push_back("--help");
    for (int i = 0; i <= specCount; ++i) {
        const char* text = i < specCount ? specs[i].help : "show this text";
        // The default closes the first line, the summary; further lines describe the choices.
        std::string body = text;
        if (i < specCount && specs[i].defaultValue != nullptr) {
            const size_t end = body.find('\n');
            body.insert(end == std::string::npos ? body.size() : end,
                        std::string(" [") + specs[i].defaultValue + "]");
        }
        // Further lines of a help text line up under its first.
        std::string indented;
        for (char ch : body) {
            indented += ch;
            if (ch == '\n') indented += std::string(2 + width + 2, ' ');
        }
        std::fprintf(stream, "  %-*s  %s\n", static_cast<int>(width), heads[i].c_str(),
                     indented.c_str());
    }
}

int CCommandLine::usageError(const std::string& message) const {
    std::fprintf(stderr, "xetetra %s: %s (see xetetra %s --help)\n", commandName, message.c_str(),
                 commandName);
    return kExitUsage;
}

int fileError(const std::string& file, const std::string& problem) {
    // One line, whatever a library's message holds.
    std::string line = problem;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    std::fprintf(stderr, "xetetra: %s: %s\n", file.c_str(), line.c_str());
    return kExitFailure;
}

bool CCommandLine::start(int argc, char** argv, int& status) {
    if (!parse(argc, argv)) {
        status = kExitUsage;
        return false;
    }
    if (help) {
        printHelp(stdout);
        status = kExitSuccess;
        return false;
    }
    return true;
}

bool parseLong(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0') return false;
    value = parsed;
    return true;
}

bool parseDouble(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return true;
}
