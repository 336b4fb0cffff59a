#pragma once

#include "tools/BufferedIO.h"

#include <memory>
#include <sndfile.h>
#include <string>

// A libsndfile handle that is closed when the object goes; close() reports a failure to close.
// The file is read and written through a large buffer.
class CSoundFile {
public:
    CSoundFile() = default;
    ~CSoundFile();
    CSoundFile(const CSoundFile&) = delete;
    CSoundFile& operator=(const CSoundFile&) = delete;

    // Opens a regular file for reading; reports and answers false for anything else (without
    // opening a FIFO or a device) and when libsndfile cannot read it.
    bool openForReading(const std::string& path);
    // Opens an already created file descriptor for writing; the descriptor stays open.
    bool openForWriting(int fd, const std::string& name, SF_INFO& format);
    // Closes the file, which writes the header of an output; reports and answers false on error.
    bool close();

    SNDFILE* handle() const { return file; }
    const SF_INFO& info() const { return fileInfo; }
    const std::string& path() const { return name; }
    // libsndfile's text for this file's last error.
    std::string error() const;
    // A system error (not just the end of the file) happened in reading or writing.
    bool systemFailure() const;
    // Bytes of samples an input's header announces beyond the end of the file; libsndfile reads
    // such an input up to where it ends.
    long long missingBytes() const { return missing; }

private:
    SNDFILE* file = nullptr;
    SF_INFO fileInfo = {};
    std::string name;
    std::unique_ptr<CBufferedIO> io;
    int ownDescriptor = -1; // of an input, opened here
    long long missing = 0;
};

// The output file types by name: wav, amb, caf, w64, flac.
struct CFileType {
    const char* name;
    int majorFormat;
};
const CFileType* fileTypeByName(const std::string& name);
// The type an output name's extension asks for; null when it names none of ours.
const CFileType* fileTypeOfPath(const std::string& path);

// libsndfile's sub-format for "16", "24", "32" or "float"; 0 for anything else.
int sampleFormatByName(const std::string& bits);
// The sample format of an input in our names: "16", "24", "32", "float"; empty for others.
std::string sampleFormatName(int format);
// True for sub-formats that store integers (and so clip).
bool isIntegerFormat(int format);
