#pragma once

// Calibration directories for tests and benchmarks: text calibrations with the Tolvin IIR
// coefficient files their "W" and "Vel" lines name, and tetraproc calibrations.

#include "tests/calibration/TetraFileWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace samplecal {

// A Tolvin coefficient file: a 4-byte header word ("TLVN"), the A and B counts (16 bits,
// little-endian), then the B and the A coefficients as little-endian floats.
inline bool writeTolvinFile(const std::string& path, const std::vector<float>& b,
                            const std::vector<float>& a) {
    tetrafile::Bytes bytes{'T', 'L', 'V', 'N'};
    auto put = [&bytes](uint32_t value, int count) {
        for (int shift = 0; shift < 8 * count; shift += 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
    };
    put(static_cast<uint32_t>(a.size()), 2);
    put(static_cast<uint32_t>(b.size()), 2);
    for (const std::vector<float>* values : {&b, &a})
        for (float value : *values) {
            uint32_t word;
            std::memcpy(&word, &value, sizeof(word));
            put(word, 4);
        }
    return tetrafile::writeBytes(path, bytes);
}

struct TextCalibration {
    std::string name;
    float sens[4] = {0.12f, -0.30f, 0.05f, 0.21f};
    float vsens[4] = {0.10f, -0.25f, 0.02f, 0.18f};
    float eq[4] = {1.5f, 1.2f, 0.8f, 1.1f};
    float eqFreq[4] = {8000.0f, 8200.0f, 7900.0f, 8100.0f};
    float eqBw[4] = {4000.0f, 4100.0f, 3950.0f, 4050.0f};
    float gains[4] = {0.0f, 0.0f, 0.0f, 0.0f}; // W X Y Z, dB
    float lfCut = 40.0f;
    float lfBoost = 120.0f;
    // Rates in kHz as the coefficient file names spell them ("44", "48", "96", ...); each gets a
    // stable second-order W and Vel section.
    std::vector<std::string> coefficientRates = {"44", "48"};
};

// Writes directory/<name>.txt and its coefficient files in directory/<name>/.
inline bool writeTextCalibration(const std::string& directory, const TextCalibration& c) {
    std::string text;
    auto line = [&text](const char* key, const float* values, int count) {
        text += key;
        char number[32];
        for (int i = 0; i < count; ++i) {
            std::snprintf(number, sizeof(number), " %g", static_cast<double>(values[i]));
            text += number;
        }
        text += "\n";
    };
    line("sens", c.sens, 4);
    line("vsens", c.vsens, 4);
    line("EQ", c.eq, 4);
    line("EQfreq", c.eqFreq, 4);
    line("EQbw", c.eqBw, 4);
    static const char* const axes[] = {"W", "X", "Y", "Z"};
    for (int k = 0; k < 4; ++k)
        line(axes[k], &c.gains[k], 1);
    const float lf[2] = {c.lfCut, c.lfBoost};
    line("LF", lf, 2);
    const std::string sub = directory + "/" + c.name;
    if (!c.coefficientRates.empty()) mkdir(sub.c_str(), 0755);
    for (const std::string& rate : c.coefficientRates) {
        text += "W W" + rate + "\nVel VEL" + rate + "\n";
        // Poles at radius sqrt(0.3) and sqrt(0.2): stable at any rate.
        if (!writeTolvinFile(sub + "/W" + rate, {0.2f, 0.4f, 0.2f}, {-0.5f, 0.3f}) ||
            !writeTolvinFile(sub + "/VEL" + rate, {0.3f, 0.1f}, {-0.4f}))
            return false;
    }
    return tetrafile::writeBytes(directory + "/" + c.name + ".txt",
                                 tetrafile::Bytes(text.begin(), text.end()));
}

inline bool writeTetraCalibration(const std::string& directory, const std::string& name,
                                  const tetrafile::TetraCalibration& calibration) {
    return tetrafile::writeFile(directory + "/" + name + ".tetra", calibration);
}

// Six calibrations, the most the processor takes: three text ones ("TextA" to "TextC", with IIR
// coefficient files for 44.1 and 48 kHz) and three tetraproc ones ("TetraD" to "TetraF", with
// three-band post-matrix equalisers). Answers false when a file could not be written.
inline bool writeSixCalibrations(const std::string& directory) {
    for (int i = 0; i < 3; ++i) {
        TextCalibration text;
        text.name = std::string("Text") + static_cast<char>('A' + i);
        text.lfCut = 30.0f + 10.0f * static_cast<float>(i);
        text.gains[1] = -1.0f * static_cast<float>(i);
        if (!writeTextCalibration(directory, text)) return false;
    }
    for (int i = 0; i < 3; ++i) {
        tetrafile::TetraCalibration tetra = tetrafile::mic1234Calibration();
        tetra.lfFrequency = 80.0f + 20.0f * static_cast<float>(i);
        if (!writeTetraCalibration(directory, std::string("Tetra") + static_cast<char>('D' + i),
                                   tetra))
            return false;
    }
    return true;
}

} // namespace samplecal
