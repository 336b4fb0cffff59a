#pragma once

#include <fcntl.h>
#include <unistd.h>

// Standard error sent to /dev/null while the object lives: for reading calibrations whose
// messages have been printed already, or are reported in the tool's own words.
class CSilentStandardError {
public:
    CSilentStandardError() : saved(dup(STDERR_FILENO)) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
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
