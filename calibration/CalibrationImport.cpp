// Finding the calibrations directory and reading its calibrations into plain values.

#include "calibration/Calibration.h"
#include "calibration/CalibrationFiles.h"
#include "calibration/CalibrationReaders.h"

#include <cstring>
#include <dirent.h>

namespace {

// Says that no calibrations directory exists, naming every place looked in, in order, and how to
// make one. Places that do not fit into one notice are counted instead of named.
void reportNoCalibrationsDirectory(const std::vector<CCalibrationPlace>& places,
                                   CCalibrationNotices& notices) {
    static const char lead[] = "Calibrations directory not found; looked in ";
    static const char advice[] = ". Add calibrations with: xetetra calibrations install FILE";
    const size_t room = CCalibrationNotices::kMaxLength - 1;
    std::string named;
    size_t shown = 0;
    for (; shown < places.size(); ++shown) {
        const std::string next = (shown == 0 ? "" : ", ") + places[shown].directory;
        const std::string more =
            shown + 1 < places.size()
                ? ", and " + std::to_string(places.size() - shown - 1) + " more"
                : "";
        if (std::strlen(lead) + named.size() + next.size() + more.size() + std::strlen(advice) >
            room)
            break;
        named += next;
    }
    if (shown < places.size())
        named += (shown == 0 ? "" : ", and ") + std::to_string(places.size() - shown) + " more";
    notices.add("%s%s%s", lead, named.c_str(), advice);
}

// The first place that opens, or -1. A directory that is there but unreadable has been named
// already, so "not found" is said only when every place is missing; no places at all is a caller
// that wants no calibrations.
int findPlace(const CCalibrationPaths& paths, CCalibrationNotices& notices) {
    bool allMissing = true;
    for (size_t i = 0; i < paths.places.size(); ++i) {
        bool missing = false;
        if (DIR* directory =
                openCalibrationsDirectory(paths.places[i].directory, missing, notices)) {
            closedir(directory);
            return static_cast<int>(i);
        }
        allMissing = allMissing && missing;
    }
    if (allMissing && !paths.places.empty()) reportNoCalibrationsDirectory(paths.places, notices);
    return -1;
}

bool readsEntry(const CCalibrationPaths& paths, const char* entryName) {
    return paths.onlyEntry.empty() || paths.onlyEntry == entryName;
}

} // namespace

CCalibrationImport importCalibrations(const CCalibrationPaths& paths,
                                      const std::vector<AXeTetraProgram>& blanks, int firstSet,
                                      int endSet) {
    CCalibrationImport import;
    CCalibrationNotices& notices = import.notices;
    import.place = findPlace(paths, notices);
    if (import.place < 0) return import;
    const std::string& directoryPath = paths.places[static_cast<size_t>(import.place)].directory;
    int nextSet = firstSet;
    // A calibration that reads gets the next set while there is one, else none.
    const auto start = [&](const std::string& path, const std::string& name) -> CCalibration& {
        import.calibrations.push_back(CCalibration{blanks[import.calibrations.size()], {}, {}});
        CCalibration& calibration = import.calibrations.back();
        calibration.source.file = path;
        calibration.source.directory = directoryPath;
        calibration.source.name = name;
        return calibration;
    };
    const auto full = [&] { return import.calibrations.size() >= blanks.size(); };

    // Text calibrations first, then the binary ones, so that the text ones keep their program
    // and set numbers.
    if (DIR* directory = opendir(directoryPath.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            const char* entryName = entry->d_name;
            if (std::strstr(entryName, ".txt") == nullptr &&
                std::strstr(entryName, ".TXT") == nullptr)
                continue;
            if (!readsEntry(paths, entryName)) continue;
            const std::string path = directoryPath + "/" + entryName;
            FILE* file = openCalibrationFile(path, "r", notices);
            if (file == nullptr) continue;
            if (full() || !skipByteOrderMark(file, path, notices)) {
                std::fclose(file);
                if (full()) break;
                continue;
            }
            const std::string name = calibrationName(entryName);
            const int set = nextSet < endSet ? nextSet++ : 0;
            readTextCalibration(file, path, directoryPath, name, set, start(path, name), notices);
            std::fclose(file);
        }
        closedir(directory);
    }

    if (DIR* directory = opendir(directoryPath.c_str())) {
        // The format version holds from file to file. Until a "tetraproc" message names one, the
        // layout of a post-matrix filter message is unknown and such messages are passed over.
        int version = 0;
        while (const dirent* entry = readdir(directory)) {
            if (std::strstr(entry->d_name, ".tetra") == nullptr) continue;
            if (!readsEntry(paths, entry->d_name)) continue;
            const std::string path = directoryPath + "/" + entry->d_name;
            COSCFile reader;
            if (!reader.attachFile(openCalibrationFile(path, "rb", notices))) continue;
            if (full()) break;
            const std::string name = calibrationName(entry->d_name);
            const int set = nextSet < endSet ? nextSet : 0;
            CCalibration& calibration = start(path, name);
            if (!readTetraProcCalibration(reader, path, name, set, version, calibration, notices))
                break;
            if (set > 0) ++nextSet;
        }
        closedir(directory);
    }
    return import;
}
