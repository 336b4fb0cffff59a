// Importing the binary calibration files that tetraproc writes (OSC messages).

#include "calibration/CalibrationFiles.h"
#include "calibration/OSCFile.h"
#include "core/XeTetra.h"
#include "dsp/ParaEQ2Band.h"
#include "dsp/ParaEQ3Band.h"

#include <cmath>
#include <cstring>
#include <dirent.h>
#include <string>

namespace {
// The lowest level a matrix coefficient is given: a coefficient of 0 has no level in dB, and
// -120 dB is silence for any recording.
constexpr float kSilentMatrixDb = -120.0f;

// True when the message carries at least `count` arguments with the given type tags, the floats
// among them finite.
bool hasArguments(COSCFile& reader, const char* tags) {
    const short count = static_cast<short>(std::strlen(tags));
    if (reader.getNumValues() < count) return false;
    for (short i = 0; i < count; ++i) {
        if (reader.getValueType(i) != tags[i]) return false;
        if (tags[i] == 'f' && !std::isfinite(reader.getFloatValue(i))) return false;
    }
    return true;
}
} // namespace

void AXeTetra::ReadTetraProcCalibrations() {
    const std::string& directoryPath = calibrationPaths.systemDirectory;
    if (directoryPath.empty()) return;
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
        std::string path = directoryPath + "/" + entry->d_name;
        const std::string name = calibrationName(entry->d_name);
        if (!isRegularFile(path)) continue;
        COSCFile reader;
        if (!reader.openFile(&path[0])) continue;
        AXeTetraProgram* program = claimProgram();
        if (program == nullptr) break;
        const int set = numPostMatrixSets;

        while (reader.readNextPacket()) {
            program->setName(name.c_str());
            program->values[kSlotGainsLinked] = 0.0f;
            program->values[kSlotLocked] = 1.0f;
            program->values[kSlotCalibration] = 1.0f;
            program->values[kSlotViewMode] = view2parm(1);

            const char* address = reader.getPacketAddress();
            if (std::strcmp(address, "tetraproc") == 0 && hasArguments(reader, "i")) {
                version = reader.getIntValue(0);
                if (version < 1 || version > 3) {
                    importEnded = true;
                    break;
                }
            }
            if (std::strcmp(address, "lffilt/par") == 0 && hasArguments(reader, "fff")) {
                const float f = reader.getFloatValue(0);
                const float q = reader.getFloatValue(1);
                const float g = reader.getFloatValue(2);
                const float freq = freq2parm(f);
                const float width = width2parm(
                    static_cast<float>(hz2oct(static_cast<double>(f), static_cast<double>(q * f))));
                const float gain = plusMinus152parm(g);
                // A frequency without a level in the parameter range is no correction at all.
                if (std::isfinite(freq) && std::isfinite(width) && std::isfinite(gain)) {
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
                        float dB =
                            level2db(std::fabs(reader.getFloatValue(static_cast<short>(1 + c))));
                        if (!(dB > kSilentMatrixDb)) dB = kSilentMatrixDb;
                        program->values[kSlotCapGainBase + 4 * c + row] = plusMinus122parm(dB);
                    }
                }
            }
            if (std::strcmp(address, "pmfilt/par") == 0 && set < kMaxFilterSets) {
                static const char* const layouts[] = {"", "iffffff", "ifffffff", "iffffffffff"};
                const int channel = reader.getIntValue(0);
                if (version >= 1 && version <= 3 && hasArguments(reader, layouts[version]) &&
                    channel >= 0 && channel < 4) {
                    float p[10];
                    for (short i = 0; i < 10; ++i)
                        p[i] = i + 1 < reader.getNumValues() ? reader.getFloatValue(i + 1) : 0.0f;
                    CFilter* equaliser = nullptr;
                    if (version == 1)
                        equaliser = new CParaEQ2Band(p[0], p[1], p[2], p[3], p[4], p[5], 0.0f);
                    else if (version == 2)
                        equaliser = new CParaEQ2Band(p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
                    else
                        equaliser = new CParaEQ3Band(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7],
                                                     p[8], p[9]);
                    equaliser->setName(name.c_str());
                    delete postMatrixFilters[set][channel];
                    postMatrixFilters[set][channel] = equaliser;
                }
            }
        }
        if (importEnded) break;

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
        } else {
            // No set left for this calibration: it keeps to set 0 rather than name a missing one.
            program->values[kSlotPostMatrixFilter] = filter2parm(0);
        }
    }
    closedir(directory);
}
