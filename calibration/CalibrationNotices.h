#pragma once

#include <string>
#include <vector>

// What reading calibrations found wrong, as the notices the user is to see, in the order found,
// each once. Reading only collects them; whoever reads (the processor, the command-line tool)
// decides how they reach the user.
class CCalibrationNotices {
public:
    // A notice with a printf-style text, cut to the length of a notice.
    void add(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const std::vector<std::string>& texts() const { return notices; }

    // The longest notice, in bytes with the terminator.
    static constexpr int kMaxLength = 512;

private:
    std::vector<std::string> notices;
};
