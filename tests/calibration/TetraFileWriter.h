#pragma once

// Writes calibration files the way tetraproc 0.8.6 saves them: size-prefixed OSC messages, all
// numbers big-endian, strings zero-padded to a multiple of 4 bytes, in the program's fixed order.
// Tests build a TetraCalibration, turn it into a message list, change the list where they want an
// odd file (drop, reorder or add messages), and write the bytes.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tetrafile {

using Bytes = std::vector<uint8_t>;

struct OscArg {
    char type = 'i';
    int32_t i = 0;
    float f = 0.0f;
    std::string s;

    static OscArg Int(int32_t value) { return {'i', value, 0.0f, ""}; }
    static OscArg Float(float value) { return {'f', 0, value, ""}; }
    static OscArg String(const std::string& value) { return {'s', 0, 0.0f, value}; }
};

inline void appendWord(Bytes& out, uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(word >> shift));
}

// The characters, a terminating zero and zeros up to the next multiple of 4 (1 to 4 in all).
inline void appendString(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    while (out.size() % 4 != 0)
        out.push_back(0);
}

struct OscMessage {
    std::string address;
    std::vector<OscArg> args;

    // The size prefix and the message.
    Bytes bytes() const {
        Bytes content;
        appendString(content, address);
        std::string tags = ",";
        for (const OscArg& arg : args)
            tags += arg.type;
        appendString(content, tags);
        for (const OscArg& arg : args) {
            uint32_t word = static_cast<uint32_t>(arg.i);
            if (arg.type == 'f') std::memcpy(&word, &arg.f, sizeof(word));
            if (arg.type == 's')
                appendString(content, arg.s);
            else
                appendWord(content, word);
        }
        Bytes out;
        appendWord(out, static_cast<uint32_t>(content.size()));
        out.insert(out.end(), content.begin(), content.end());
        return out;
    }
};

inline OscMessage message(const std::string& address, std::vector<OscArg> args) {
    return OscMessage{address, std::move(args)};
}

inline Bytes encode(const std::vector<OscMessage>& messages) {
    Bytes out;
    for (const OscMessage& m : messages) {
        const Bytes b = m.bytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// One output channel's post-matrix equaliser: three bands of frequency (Hz), bandwidth relative to
// the frequency and gain (dB), then the output gain (dB).
struct TetraPmFilter {
    float band[3][3] = {{8000.0f, 1.0f, 0.0f}, {8000.0f, 1.0f, 0.0f}, {8000.0f, 1.0f, 0.0f}};
    float gain = 0.0f;
};

// A tetraproc calibration; the defaults are those of the program's own default configuration.
struct TetraCalibration {
    int version = 3;
    std::string copyright = "(C) 2009 tetraproc users";
    std::string description = "Default configuration";
    std::string micident = "Theoretical microphone";
    // 1 low-frequency filter, 2 matrix, 4 convolution, 8 post-matrix equaliser.
    int enable = 2;
    float lfFrequency = 20.0f;
    float lfBandwidth = 2.0f;
    float lfGain = 0.0f;
    // Rows W, X, Y, Z; columns capsules 1 to 4; semi-normalised, signed.
    float matrix[4][4] = {{0.5f, 0.5f, 0.5f, 0.5f},
                          {0.866f, 0.866f, -0.866f, -0.866f},
                          {0.866f, -0.866f, 0.866f, -0.866f},
                          {0.866f, -0.866f, -0.866f, 0.866f}};
    std::string convolFile;
    TetraPmFilter pm[4];

    // The messages in the order tetraproc writes them.
    std::vector<OscMessage> messages() const {
        std::vector<OscMessage> out;
        out.push_back(message("/tetraproc", {OscArg::Int(version)}));
        out.push_back(message("/copyright", {OscArg::String(copyright)}));
        out.push_back(message("/descript", {OscArg::String(description)}));
        out.push_back(message("/micident", {OscArg::String(micident)}));
        out.push_back(message("/enable", {OscArg::Int(enable)}));
        out.push_back(message("/lffilt/par", {OscArg::Float(lfFrequency),
                                              OscArg::Float(lfBandwidth), OscArg::Float(lfGain)}));
        for (int r = 0; r < 4; ++r)
            out.push_back(
                message("/matrix/row",
                        {OscArg::Int(r), OscArg::Float(matrix[r][0]), OscArg::Float(matrix[r][1]),
                         OscArg::Float(matrix[r][2]), OscArg::Float(matrix[r][3])}));
        out.push_back(message("/convol/file", {OscArg::String(convolFile)}));
        // Post-matrix equalisers: version 1 two bands, version 2 two bands and the output gain,
        // version 3 three bands and the output gain.
        for (int c = 0; c < 4; ++c) {
            std::vector<OscArg> args{OscArg::Int(c)};
            for (int b = 0; b < (version >= 3 ? 3 : 2); ++b)
                for (int k = 0; k < 3; ++k)
                    args.push_back(OscArg::Float(pm[c].band[b][k]));
            if (version >= 2) args.push_back(OscArg::Float(pm[c].gain));
            out.push_back(message("/pmfilt/par", args));
        }
        return out;
    }

    Bytes bytes() const { return encode(messages()); }
};

inline bool writeBytes(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

inline bool writeFile(const std::string& path, const TetraCalibration& calibration) {
    return writeBytes(path, calibration.bytes());
}

// A calibration with a value in every field that differs from the defaults, for a microphone
// "Mic1234": low-frequency correction, an uneven matrix and three-band post-matrix equalisers.
inline TetraCalibration mic1234Calibration() {
    TetraCalibration c;
    c.copyright = "(C) 2024 XeTetra test bench";
    c.description = "Measured in the anechoic room, 1 m, 2024-05-17";
    c.micident = "Mic1234";
    c.enable = 1 | 2 | 8;
    c.lfFrequency = 100.0f;
    c.lfBandwidth = 1.0f;
    c.lfGain = -3.0f;
    const float rows[4][4] = {{0.52f, 0.47f, 0.51f, 0.49f},
                              {0.91f, 0.83f, -0.88f, -0.79f},
                              {0.85f, -0.90f, 0.80f, -0.87f},
                              {0.78f, -0.86f, -0.92f, 0.89f}};
    std::memcpy(c.matrix, rows, sizeof(rows));
    for (int ch = 0; ch < 4; ++ch) {
        const float offset = static_cast<float>(ch);
        const float bands[3][3] = {{250.0f + 10.0f * offset, 0.7f, -1.5f + 0.25f * offset},
                                   {2500.0f + 100.0f * offset, 1.2f, 2.0f - 0.5f * offset},
                                   {9000.0f + 250.0f * offset, 0.5f, 3.5f}};
        std::memcpy(c.pm[ch].band, bands, sizeof(bands));
        c.pm[ch].gain = -0.5f * offset;
    }
    return c;
}

} // namespace tetrafile
