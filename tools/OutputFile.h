#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

// An output written to a temporary file beside its destination and renamed into place only when
// complete, so that a failed or interrupted run leaves no partial file, and an existing file is
// replaced only when asked to. Only a regular file with no other hard link is ever replaced, and
// the replacement keeps its permissions (and, where the system lets us, its owner): a device
// node, FIFO, directory or symbolic link is refused whatever --force says, and a file with
// other hard links is refused rather than silently parted from them.
class COutputFile {
public:
    // The temporary file is named "." + temporaryStem + ".XXXXXX" when a stem is given (so that
    // it cannot be taken for what the destination is), else after the destination.
    COutputFile(const std::string& destination, bool replace,
                const std::string& temporaryStem = "");
    // Removes the temporary file unless it was committed.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Checks the destination against the inputs and the --force rule; reports and answers false
    // when it may not be written.
    bool checkDestination(const std::vector<std::string>& inputs);

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
    // Whether an existing destination may be replaced; reports and answers false when not.
    bool replaceable(const struct stat& existing) const;

    std::string target;
    std::string stem;
    std::string temporary;
    bool replace;
    int fd = -1;
    bool committed = false;
    // The file being replaced: its permissions and owner go to the new one.
    bool existed = false;
    unsigned mode = 0;
    unsigned owner = 0, group = 0;
};
