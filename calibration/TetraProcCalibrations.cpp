// Importing the binary calibration files that tetraproc writes (OSC messages).

#include "calibration/CalibrationFiles.h"
#include "calibration/MsgBox.h"
#include "calibration/OSCFile.h"
#include "core/XeTetra.h"
#include "dsp/ParaEQ2Band.h"
#include "dsp/ParaEQ3Band.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>

namespace {
// True when the message carries at least `count` arguments with the given type tags.
bool hasArguments(COSCFile& reader, const char* tags) {
    const short count = static_cast<short>(std::strlen(tags));
    if (reader.getNumValues() < count) return false;
    for (short i = 0; i < count; ++i)
        if (reader.getValueType(i) != tags[i]) return false;
    return true;
}

// The engineering ranges of the parameters a tetraproc calibration sets, and the limits of its
// post-matrix equaliser bands: a gain of +-24 dB is far beyond any microphone's correction, and
// a centre above 0.49 of the lowest rate calibrations are made for (44.1 kHz) could not be kept
// at that rate.
constexpr float kCapsuleGainDb = 12.0f;
constexpr float kEQGainDb = 15.0f;
constexpr float kLowestEQFreq = 20.0f, kHighestEQFreq = 20000.0f;
constexpr float kWidestEQOctaves = 5.0f;
constexpr float kBandGainDb = 24.0f;
constexpr float kLowestBandCentre = 10.0f;
constexpr float kHighestBandCentre = 0.49f * 44100.0f;

} // namespace

void AXeTetra::ReadTetraProcCalibrations() {
    // Binary calibrations come from the same directory as the text ones, after them, so that the
    // text calibrations keep their program and set numbers.
    if (calibrationPlace < 0) return;
    const std::string& directoryPath = calibrationsDirectory;
    DIR* directory = opendir(directoryPath.c_str());
    if (directory == nullptr) return;

    // The format version holds from file to file. Until a "tetraproc" message names one, the
    // layout of a post-matrix filter message is unknown and such messages are passed over.
    int version = 0;
    bool importEnded = false;
    while (!importEnded) {
        const dirent* entry = readdir(directory);
        if (entry == nullptr) break;
        if (std::strstr(entry->d_name, ".tetra") == nullptr) continue;
        if (!readsEntry(entry->d_name)) continue;
        std::string path = directoryPath + "/" + entry->d_name;
        const std::string name = calibrationName(entry->d_name);
        COSCFile reader;
        if (!reader.attachFile(openCalibrationFile(path, "rb"))) continue;
        if (numPrograms >= kNumPrograms) break;
        CCalibrationSource& source = calibrationSources[numPrograms];
        AXeTetraProgram* program = claimProgram(path, name);
        auto limit = [&path](float value, float lowest, float highest, const char* unit,
                             const char* key, float shown) {
            return limitCalibrationValue(value, lowest, highest, unit, key, shown, path);
        };
        const int set = numPostMatrixSets;

        int messages = 0;
        while (reader.readNextPacket()) {
            ++messages;
            program->setName(name.c_str());
            program->values[kSlotGainsLinked] = 0.0f;
            program->values[kSlotLocked] = 1.0f;
            program->values[kSlotCalibration] = 1.0f;
            program->values[kSlotViewMode] = view2parm(1);

            const char* address = reader.getPacketAddress();
            if (std::strcmp(address, "tetraproc") == 0 && hasArguments(reader, "i")) {
                version = reader.getIntValue(0);
                if (version < 1 || version > 3) {
                    MsgBoxf("Calibration file has format version %d, which is not read (1 to 3 "
                            "are); no calibration after it is read either: %s",
                            version, path.c_str());
                    importEnded = true;
                    break;
                }
            }
            if (std::strcmp(address, "lffilt/par") == 0 && hasArguments(reader, "fff")) {
                const float f = limit(reader.getFloatValue(0), kLowestEQFreq, kHighestEQFreq, "Hz",
                                      "lffilt/par frequency", reader.getFloatValue(0));
                const float q = reader.getFloatValue(1);
                const float octaves = std::isfinite(q)
                                          ? static_cast<float>(hz2oct(static_cast<double>(f),
                                                                      static_cast<double>(q * f)))
                                          : q;
                const float width = width2parm(
                    limit(octaves, 0.0f, kWidestEQOctaves, "octaves", "lffilt/par bandwidth", q));
                const float gain =
                    plusMinus152parm(limit(reader.getFloatValue(2), -kEQGainDb, kEQGainDb, "dB",
                                           "lffilt/par gain", reader.getFloatValue(2)));
                // A value that is not a number leaves the whole correction out.
                if (std::isfinite(f) && std::isfinite(width) && std::isfinite(gain)) {
                    const float freq = freq2parm(f);
                    for (int c = 0; c < 4; ++c) {
                        program->values[kSlotEQFreqBase + c] = freq;
                        program->values[kSlotEQWidthBase + c] = width;
                        program->values[kSlotEQGainBase + c] = gain;
                    }
                    program->values[kSlotEQsEnabled] = 1.0f;
                    program->values[kSlotEQsLinked] = 0.0f;
                    program->values[kSlotLFEnabled] = 1.0f;
                    program->values[kSlotLFCutFreq] = lowfreq2parm(20.0f);
                    program->values[kSlotLFBoostFreq] = lowfreq2parm(20.0f);
                }
            }
            if (std::strcmp(address, "matrix/row") == 0 && hasArguments(reader, "iffff")) {
                const int row = reader.getIntValue(0);
                if (row >= 0 && row < 4) {
                    for (int c = 0; c < 4; ++c) {
                        const float m = reader.getFloatValue(static_cast<short>(1 + c));
                        char key[48];
                        std::snprintf(key, sizeof(key), "matrix/row %d capsule %d", row, c + 1);
                        // A coefficient of 0 has no level in dB: it is limited like any other.
                        const float dB = limit(std::isnan(m) ? m : level2db(std::fabs(m)),
                                               -kCapsuleGainDb, kCapsuleGainDb, "dB", key, m);
                        if (!std::isnan(dB))
                            program->values[kSlotCapGainBase + 4 * c + row] = plusMinus122parm(dB);
                    }
                }
            }
            if (std::strcmp(address, "pmfilt/par") == 0 && set < kMaxFilterSets) {
                static const char* const layouts[] = {"", "iffffff", "ifffffff", "iffffffffff"};
                const int channel = reader.getIntValue(0);
                if (version >= 1 && version <= 3 && hasArguments(reader, layouts[version]) &&
                    channel >= 0 && channel < 4) {
                    float p[10] = {};
                    const int bands = version == 3 ? 3 : 2;
                    const int count = bands * 3 + (version == 1 ? 0 : 1);
                    bool numbers = true;
                    for (int i = 0; i < count; ++i) {
                        const float value = reader.getFloatValue(static_cast<short>(i + 1));
                        const int band = i / 3;
                        char key[64];
                        if (band == bands) {
                            std::snprintf(key, sizeof(key), "pmfilt/par %d output gain", channel);
                            p[i] = limit(value, -kBandGainDb, kBandGainDb, "dB", key, value);
                        } else if (i % 3 == 0) {
                            std::snprintf(key, sizeof(key), "pmfilt/par %d band %d frequency",
                                          channel, band + 1);
                            p[i] = limit(value, kLowestBandCentre, kHighestBandCentre, "Hz", key,
                                         value);
                        } else if (i % 3 == 2) {
                            std::snprintf(key, sizeof(key), "pmfilt/par %d band %d gain", channel,
                                          band + 1);
                            p[i] = limit(value, -kBandGainDb, kBandGainDb, "dB", key, value);
                        } else {
                            // The band's design keeps any finite width in its stable range.
                            std::snprintf(key, sizeof(key), "pmfilt/par %d band %d bandwidth",
                                          channel, band + 1);
                            p[i] = std::isfinite(value) ? value
                                                        : limit(NAN, 0.0f, 0.0f, "", key, value);
                        }
                        numbers = numbers && !std::isnan(p[i]);
                    }
                    // An equaliser with a value that is not a number is left out; the channel
                    // passes its signal.
                    CFilter* equaliser = nullptr;
                    if (numbers && version == 1)
                        equaliser = new CParaEQ2Band(p[0], p[1], p[2], p[3], p[4], p[5], 0.0f);
                    else if (numbers && version == 2)
                        equaliser = new CParaEQ2Band(p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
                    else if (numbers)
                        equaliser = new CParaEQ3Band(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7],
                                                     p[8], p[9]);
                    if (equaliser != nullptr) {
                        equaliser->setName(name.c_str());
                        delete postMatrixFilters[set][channel];
                        postMatrixFilters[set][channel] = equaliser;
                    }
                }
            }
        }
        if (importEnded) break;
        if (messages == 0 && reader.endedCleanly())
            MsgBoxf("Calibration file holds no message: %s", path.c_str());
        else if (!reader.endedCleanly())
            MsgBoxf("Calibration file is cut off or malformed after %d messages; those are "
                    "read: %s",
                    messages, path.c_str());

        program->values[kSlotPreMatrixFilter] = 0.0f;
        if (set < kMaxFilterSets) {
            // Channels without an equaliser pass their signal through, so the set is whole.
            for (int k = 0; k < 4; ++k) {
                if (postMatrixFilters[set][k] != nullptr) continue;
                postMatrixFilters[set][k] = new CFilter();
                postMatrixFilters[set][k]->setName(name.c_str());
            }
            ++numPostMatrixSets;
            program->values[kSlotPostMatrixFilter] = filter2parm(set);
            source.postMatrixSet = set;
        } else {
            // No set left for this calibration: it keeps to set 0 rather than name a missing one.
            program->values[kSlotPostMatrixFilter] = filter2parm(0);
        }
    }
    closedir(directory);
}
