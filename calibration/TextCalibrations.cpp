// Finding the calibrations directory and importing its text calibration files.

#include "calibration/CalibrationFiles.h"
#include "calibration/LineReader.h"
#include "calibration/MsgBox.h"
#include "core/XeTetra.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/IIRFilter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>

namespace {
constexpr int kLineSize = 80;

// A line of key K starts with at least strlen(K) characters taken from the letters of K.
bool isKeyLine(const char* line, const char* key) {
    return std::strspn(line, key) >= std::strlen(key);
}

bool isWLine(const char* line) {
    return std::strspn(line, "W") == 1;
}
bool isVelLine(const char* line) {
    return std::strspn(line, "Vel") == 3;
}
bool isBlankLine(const char* line) {
    return line[0] == '\r' || line[0] == '\n';
}

// One text calibration file being read: its line buffer starts empty, so nothing of an earlier
// file can be taken for a key of this one.
class CTextCalibrationReader {
public:
    explicit CTextCalibrationReader(FILE* file) : file(file) { line[0] = '\0'; }

    void next() { myfgets(line, kLineSize, file); }
    bool atEnd() const { return std::feof(file) != 0; }

    // Searches for the key's line from the next line on; true when the buffer holds it.
    bool find(const char* key) {
        next();
        while (!atEnd() && !isKeyLine(line, key))
            next();
        if (!isKeyLine(line, key)) return false;
        // A lone "X", "Y" or "Z" with its line end ends the search but holds no value.
        const bool single = key[1] == '\0' && key[0] != 'W';
        return !single || std::strlen(line) > 2;
    }

    char line[kLineSize];

private:
    FILE* file;
};

// Stores a converted value only when it is finite: a malformed number never reaches the host.
void storeFinite(AXeTetraProgram& program, int slot, float value) {
    if (std::isfinite(value)) program.values[slot] = value;
}

// The engineering ranges of the parameters a text calibration sets.
constexpr float kCapsuleGainDb = 12.0f;
constexpr float kEQGainDb = 15.0f;
constexpr float kOutputGainDb = 15.0f;
// The file's W gain is raised by 3 dB on the way in.
constexpr float kWRaiseDb = 3.0f;
constexpr float kLowestEQFreq = 20.0f, kHighestEQFreq = 20000.0f;
constexpr float kWidestEQOctaves = 5.0f;
constexpr float kLowestLFFreq = 20.0f, kHighestLFFreq = 250.0f;

// Says that no calibrations directory exists, naming every place looked in, in order, and how to
// make one. Places that do not fit into one notice are counted instead of named.
void reportNoCalibrationsDirectory(const std::vector<CCalibrationPlace>& places) {
    static const char lead[] = "Calibrations directory not found; looked in ";
    static const char advice[] = ". Add calibrations with: xetetra calibrations install FILE";
    const size_t room = kMaxMessageLength - 1;
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
    MsgBoxf("%s%s%s", lead, named.c_str(), advice);
}
} // namespace

bool AXeTetra::CalibrationsDirectoryExists() {
    calibrationPlace = -1;
    calibrationsDirectory.clear();
    bool allMissing = true;
    for (size_t i = 0; i < calibrationPaths.places.size(); ++i) {
        const std::string& candidate = calibrationPaths.places[i].directory;
        bool missing = false;
        if (DIR* directory = openCalibrationsDirectory(candidate, missing)) {
            closedir(directory);
            calibrationPlace = static_cast<int>(i);
            calibrationsDirectory = candidate;
            return true;
        }
        allMissing = allMissing && missing;
    }
    // A directory that is there but unreadable has been named already; "not found" would mislead.
    // No candidates at all is a caller that wants no calibrations.
    if (allMissing && !calibrationPaths.places.empty())
        reportNoCalibrationsDirectory(calibrationPaths.places);
    return false;
}

void AXeTetra::ReadCalibrations() {
    if (calibrationPlace < 0) return;
    DIR* directory = opendir(calibrationsDirectory.c_str());
    if (directory == nullptr) return;

    while (const dirent* entry = readdir(directory)) {
        const char* entryName = entry->d_name;
        if (std::strstr(entryName, ".txt") == nullptr && std::strstr(entryName, ".TXT") == nullptr)
            continue;
        if (!readsEntry(entryName)) continue;
        const std::string path = calibrationsDirectory + "/" + entryName;
        const std::string name = calibrationName(entryName);
        FILE* file = openCalibrationFile(path, "r");
        if (file == nullptr) continue;
        if (numPrograms >= kNumPrograms) {
            std::fclose(file);
            break;
        }
        if (!skipByteOrderMark(file, path)) {
            std::fclose(file);
            continue;
        }
        CCalibrationSource& source = calibrationSources[numPrograms];
        AXeTetraProgram* program = claimProgram(path, name);
        program->setName(name.c_str());
        program->values[kSlotGainsLinked] = 0.0f;
        program->values[kSlotLocked] = 0.0f;
        program->values[kSlotCalibration] = 0.0f;

        CTextCalibrationReader reader(file);
        // Every value is limited to what its parameter can express; see limitCalibrationValue.
        auto limit = [&path](float value, float lowest, float highest, const char* unit,
                             const char* key, float shown) {
            return limitCalibrationValue(value, lowest, highest, unit, key, shown, path);
        };
        auto dB = [&limit](float value, float range, const char* key) {
            return limit(value, -range, range, "dB", key, value);
        };
        float v[4];
        // Whether any keyed line gave a number: a file without one is no calibration.
        bool scanned = false;
        if (reader.find("sens")) {
            const int n = std::sscanf(reader.line, "sens %f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
            scanned = scanned || n > 0;
            for (int c = 0; c < n; ++c)
                storeFinite(*program, kSlotCapGainBase + 4 * c,
                            plusMinus122parm(dB(v[c], kCapsuleGainDb, "sens")));
        }
        if (reader.find("vsens")) {
            const int n = std::sscanf(reader.line, "vsens %f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
            scanned = scanned || n > 0;
            for (int c = 0; c < n; ++c) {
                const float gain = plusMinus122parm(dB(v[c], kCapsuleGainDb, "vsens"));
                for (int k = 1; k < 4; ++k)
                    storeFinite(*program, kSlotCapGainBase + 4 * c + k, gain);
            }
        }
        if (reader.find("EQ")) {
            const int n = std::sscanf(reader.line, "EQ %f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
            scanned = scanned || n > 0;
            for (int c = 0; c < n; ++c)
                storeFinite(*program, kSlotEQGainBase + c,
                            plusMinus152parm(dB(v[c], kEQGainDb, "EQ")));
        }
        if (reader.find("EQfreq")) {
            const int n =
                std::sscanf(reader.line, "EQfreq %f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
            scanned = scanned || n > 0;
            for (int c = 0; c < n; ++c) {
                // 0 stands for the lowest frequency.
                if (v[c] == 0.0f) {
                    storeFinite(*program, kSlotEQFreqBase + c, 0.0f);
                    continue;
                }
                const float hz = limit(v[c], kLowestEQFreq, kHighestEQFreq, "Hz", "EQfreq", v[c]);
                storeFinite(*program, kSlotEQFreqBase + c, freq2parm(hz));
            }
        }
        if (reader.find("EQbw")) {
            const int n = std::sscanf(reader.line, "EQbw %f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
            scanned = scanned || n > 0;
            for (int c = 0; c < n; ++c) {
                if (v[c] == 0.0f) {
                    storeFinite(*program, kSlotEQWidthBase + c, 0.0f);
                    continue;
                }
                const float centre = oneMAXFREQConvert(program->values[kSlotEQFreqBase + c]);
                // An infinite bandwidth is the widest band, not a width of 0.
                const float octaves =
                    std::isfinite(v[c]) ? static_cast<float>(hz2oct(centre, v[c])) : v[c];
                storeFinite(
                    *program, kSlotEQWidthBase + c,
                    width2parm(limit(octaves, 0.0f, kWidestEQOctaves, "octaves", "EQbw", v[c])));
            }
        }
        if (reader.find("W") && std::sscanf(reader.line, "W %f", &v[0]) == 1) {
            scanned = true;
            const float gain =
                limit(v[0], -kOutputGainDb - kWRaiseDb, kOutputGainDb - kWRaiseDb, "dB", "W", v[0]);
            storeFinite(*program, kSlotOutputGainBase + 0, plusMinus152parm(gain + kWRaiseDb));
        }
        static const char* const axisKeys[] = {"X", "Y", "Z"};
        static const char* const axisFormats[] = {"X %f", "Y %f", "Z %f"};
        for (int k = 1; k < 4; ++k)
            if (reader.find(axisKeys[k - 1]) &&
                std::sscanf(reader.line, axisFormats[k - 1], &v[0]) == 1) {
                scanned = true;
                storeFinite(*program, kSlotOutputGainBase + k,
                            plusMinus152parm(dB(v[0], kOutputGainDb, axisKeys[k - 1])));
            }
        if (reader.find("LF")) {
            const int n = std::sscanf(reader.line, "LF %f %f", &v[0], &v[1]);
            scanned = scanned || n > 0;
            for (int i = 0; i < n; ++i)
                storeFinite(
                    *program, i == 0 ? kSlotLFCutFreq : kSlotLFBoostFreq,
                    lowfreq2parm(limit(v[i], kLowestLFFreq, kHighestLFFreq, "Hz", "LF", v[i])));
        }

        // The coefficient-file lines, after which the set of four IIR filters is built.
        reader.next();
        while (!reader.atEnd() && reader.line[0] != 'W' && std::strspn(reader.line, "Vel") < 3)
            reader.next();
        int set = 0;
        if (numPostMatrixSets < kMaxFilterSets) {
            set = numPostMatrixSets;
            coefficientSets.emplace_back(new CFilterCoefficients());
            CFilterCoefficients* wSet = coefficientSets.back().get();
            coefficientSets.emplace_back(new CFilterCoefficients());
            CFilterCoefficients* velSet = coefficientSets.back().get();
            for (int k = 0; k < 4; ++k) {
                CIIRFilter* filter = new CIIRFilter(1);
                filter->setName(name.c_str());
                filter->setCoefficients(k == 0 ? wSet : velSet);
                postMatrixFilters[set][k] = filter;
            }
            while (!reader.atEnd() &&
                   (isWLine(reader.line) || isVelLine(reader.line) || isBlankLine(reader.line))) {
                char key[kLineSize], fileName[kLineSize];
                if (!isBlankLine(reader.line) &&
                    std::sscanf(reader.line, "%79s %79s", key, fileName) == 2) {
                    const std::string coefficientPath =
                        calibrationsDirectory + "/" + name + "/" + fileName;
                    source.coefficientFiles.emplace_back(fileName);
                    const std::string problem = (isWLine(reader.line) ? wSet : velSet)
                                                    ->setTolvinIIRFileName(coefficientPath.c_str());
                    if (!problem.empty()) MsgBoxf("%s", problem.c_str());
                }
                reader.next();
            }
            ++numPostMatrixSets;
        }
        std::fclose(file);
        source.postMatrixSet = set;
        if (!scanned)
            MsgBoxf("Calibration file holds no value: none of the keys sens, vsens, EQ, EQfreq, "
                    "EQbw, W, X, Y, Z, LF with a number: %s",
                    path.c_str());

        program->values[kSlotPreMatrixFilter] = 0.0f;
        // With the set table full the program keeps to set 0 rather than name a missing set.
        program->values[kSlotPostMatrixFilter] = filter2parm(set);
        program->values[kSlotLFEnabled] = 1.0f;
        program->values[kSlotEQsEnabled] = 1.0f;
        program->values[kSlotViewMode] = view2parm(1);
    }
    closedir(directory);
}
