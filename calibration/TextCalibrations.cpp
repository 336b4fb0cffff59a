// Text calibration files: keyed lines of gains, equaliser settings and LF frequencies, then the
// Tolvin coefficient files of the post-matrix set.

#include "calibration/CalibrationFiles.h"
#include "calibration/CalibrationReaders.h"
#include "calibration/LineReader.h"
#include "dsp/FilterCoefficients.h"

#include <cmath>
#include <cstdio>
#include <cstring>
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

} // namespace

void readTextCalibration(FILE* file, const std::string& path, const std::string& directory,
                         const std::string& name, int set, CCalibration& calibration,
                         CCalibrationNotices& notices) {
    CCalibrationSource& source = calibration.source;
    AXeTetraProgram* program = &calibration.program;
    program->setName(name.c_str());
    program->values[kSlotGainsLinked] = 0.0f;
    program->values[kSlotLocked] = 0.0f;
    program->values[kSlotCalibration] = 0.0f;

    CTextCalibrationReader reader(file);
    // Every value is limited to what its parameter can express; see limitCalibrationValue.
    auto limit = [&path, &notices](float value, float lowest, float highest, const char* unit,
                                   const char* key, float shown) {
        return limitCalibrationValue(value, lowest, highest, unit, key, shown, path, notices);
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
            storeFinite(*program, kSlotEQGainBase + c, plusMinus152parm(dB(v[c], kEQGainDb, "EQ")));
    }
    if (reader.find("EQfreq")) {
        const int n = std::sscanf(reader.line, "EQfreq %f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
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
            storeFinite(*program, i == 0 ? kSlotLFCutFreq : kSlotLFBoostFreq,
                        lowfreq2parm(limit(v[i], kLowestLFFreq, kHighestLFFreq, "Hz", "LF", v[i])));
    }

    // The coefficient-file lines, after which the set of four IIR filters is built.
    reader.next();
    while (!reader.atEnd() && reader.line[0] != 'W' && std::strspn(reader.line, "Vel") < 3)
        reader.next();
    if (set > 0) {
        CFilterSetDescription& description = calibration.filterSet;
        description.kind = CFilterSetDescription::Kind::kRecursive;
        description.w = std::make_shared<CFilterCoefficients>();
        description.velocity = std::make_shared<CFilterCoefficients>();
        while (!reader.atEnd() &&
               (isWLine(reader.line) || isVelLine(reader.line) || isBlankLine(reader.line))) {
            char key[kLineSize], fileName[kLineSize];
            if (!isBlankLine(reader.line) &&
                std::sscanf(reader.line, "%79s %79s", key, fileName) == 2) {
                const std::string coefficientPath = directory + "/" + name + "/" + fileName;
                source.coefficientFiles.emplace_back(fileName);
                CFilterCoefficients& coefficients =
                    isWLine(reader.line) ? *description.w : *description.velocity;
                const std::string problem =
                    coefficients.setTolvinIIRFileName(coefficientPath.c_str());
                if (!problem.empty()) notices.add("%s", problem.c_str());
            }
            reader.next();
        }
    }
    source.postMatrixSet = set;
    if (!scanned)
        notices.add("Calibration file holds no value: none of the keys sens, vsens, EQ, EQfreq, "
                    "EQbw, W, X, Y, Z, LF with a number: %s",
                    path.c_str());

    program->values[kSlotPreMatrixFilter] = 0.0f;
    // With the set table full the program keeps to set 0 rather than name a missing set.
    program->values[kSlotPostMatrixFilter] = filter2parm(set);
    program->values[kSlotLFEnabled] = 1.0f;
    program->values[kSlotEQsEnabled] = 1.0f;
    program->values[kSlotViewMode] = view2parm(1);
}
