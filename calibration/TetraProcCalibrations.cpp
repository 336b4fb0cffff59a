// Importing the binary calibration files that tetraproc writes (OSC messages).

#include "calibration/CalibrationFiles.h"
#include "calibration/CalibrationReaders.h"
#include "dsp/ABMatrix.h"

#include <cmath>
#include <cstdio>
#include <cstring>
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

bool readTetraProcCalibration(COSCFile& reader, const std::string& path, const std::string& name,
                              int set, int& version, CCalibration& calibration,
                              CCalibrationNotices& notices) {
    CCalibrationSource& source = calibration.source;
    AXeTetraProgram* program = &calibration.program;
    auto limit = [&path, &notices](float value, float lowest, float highest, const char* unit,
                                   const char* key, float shown) {
        return limitCalibrationValue(value, lowest, highest, unit, key, shown, path, notices);
    };
    CFilterSetDescription& description = calibration.filterSet;

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
                notices.add("Calibration file has format version %d, which is not read (1 to 3 "
                            "are); no calibration after it is read either: %s",
                            version, path.c_str());
                return false;
            }
        }
        if (std::strcmp(address, "lffilt/par") == 0 && hasArguments(reader, "fff")) {
            const float f = limit(reader.getFloatValue(0), kLowestEQFreq, kHighestEQFreq, "Hz",
                                  "lffilt/par frequency", reader.getFloatValue(0));
            const float q = reader.getFloatValue(1);
            const float octaves =
                std::isfinite(q)
                    ? static_cast<float>(hz2oct(static_cast<double>(f), static_cast<double>(q * f)))
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
        if (std::strcmp(address, "pmfilt/par") == 0 && set > 0) {
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
                        std::snprintf(key, sizeof(key), "pmfilt/par %d band %d frequency", channel,
                                      band + 1);
                        p[i] =
                            limit(value, kLowestBandCentre, kHighestBandCentre, "Hz", key, value);
                    } else if (i % 3 == 2) {
                        std::snprintf(key, sizeof(key), "pmfilt/par %d band %d gain", channel,
                                      band + 1);
                        p[i] = limit(value, -kBandGainDb, kBandGainDb, "dB", key, value);
                    } else {
                        // The band's design keeps any finite width in its stable range.
                        std::snprintf(key, sizeof(key), "pmfilt/par %d band %d bandwidth", channel,
                                      band + 1);
                        p[i] =
                            std::isfinite(value) ? value : limit(NAN, 0.0f, 0.0f, "", key, value);
                    }
                    numbers = numbers && !std::isnan(p[i]);
                }
                // An equaliser with a value that is not a number is left out; the channel
                // passes its signal.
                if (numbers) {
                    CFilterSetDescription::CBands& channelBands = description.channels[channel];
                    channelBands.count = bands;
                    for (int b = 0; b < bands; ++b) {
                        channelBands.frequency[b] = p[3 * b];
                        channelBands.width[b] = p[3 * b + 1];
                        channelBands.gainDb[b] = p[3 * b + 2];
                    }
                    channelBands.outputDb = version == 1 ? 0.0f : p[3 * bands];
                }
            }
        }
    }
    if (messages == 0 && reader.endedCleanly())
        notices.add("Calibration file holds no message: %s", path.c_str());
    else if (!reader.endedCleanly())
        notices.add("Calibration file is cut off or malformed after %d messages; those are "
                    "read: %s",
                    messages, path.c_str());

    program->values[kSlotPreMatrixFilter] = 0.0f;
    // Without a set left the calibration keeps to set 0 rather than name a missing one; channels
    // without an equaliser pass their signal.
    if (set > 0) description.kind = CFilterSetDescription::Kind::kEqualisers;
    program->values[kSlotPostMatrixFilter] = filter2parm(set);
    source.postMatrixSet = set;
    return true;
}
