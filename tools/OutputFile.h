#pragma once

#include <string>
#include <vector>

// An output written to a temporary file beside its destination and renamed into place only when
// complete, so that a failed or interrupted run leaves no partial file, and an existing file is
// replaced only when asked to.
class COutputFile {
public:
    COutputFile(const std::string& destination, bool replace);
    // Removes the temporary file unless it was committed.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Checks the destination against the inputs and the --force rule; reports and answers false
    // when it may not be written.
    bool checkDestination(const std::vector<std::string>& inputs) const;

    // Creates the temporary file; reports and answers false when that fails.
    bool create();
    int descriptor() const { return fd; }

    // Writes all of the bytes; reports and answers false on a short write.
    bool writeAll(const void* data, size_t size);

    // Closes the temporary file and renames it to the destination; reports and answers false
    // when either fails (the temporary file is then removed).
    bool commit();

    const std::string& destination() const { return target; }

private:
    std::string target;
    std::string temporary;
    bool replace;
    int fd = -1;
    bool committed = false;
};
