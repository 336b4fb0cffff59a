#pragma once

// 32-bit float WAVE files, as Ardour reads its sources and writes a float export: plain IEEE
// float or the extensible header with the float sub-format, any chunks in between.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace wav {

// Channels of equal length.
using Channels = std::vector<std::vector<float>>;

struct Audio {
    int rate = 0;
    Channels channels;
};

namespace detail {

inline void put16(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xff));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xff));
}
inline void put32(std::vector<unsigned char>& out, uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}
inline uint32_t get16(const unsigned char* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8);
}
inline uint32_t get32(const unsigned char* p) {
    return get16(p) | (get16(p + 2) << 16);
}

} // namespace detail

// Writes all channels interleaved; false with a message in `error` on any failure.
inline bool write(const std::string& path, const Audio& audio, std::string& error) {
    using namespace detail;
    const uint32_t numChannels = static_cast<uint32_t>(audio.channels.size());
    const size_t frames = numChannels > 0 ? audio.channels[0].size() : 0;
    for (const auto& channel : audio.channels)
        if (channel.size() != frames) {
            error = path + ": channels of different lengths";
            return false;
        }
    const uint64_t dataBytes = static_cast<uint64_t>(frames) * numChannels * 4;
    if (numChannels == 0 || dataBytes > 0xffff0000u) {
        error = path + ": nothing to write or too long for a WAVE file";
        return false;
    }
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<size_t>(dataBytes) + 64);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    put32(bytes, static_cast<uint32_t>(4 + 8 + 18 + 8 + 4 + 8 + dataBytes));
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(bytes, 18);
    put16(bytes, 3); // IEEE float
    put16(bytes, numChannels);
    put32(bytes, static_cast<uint32_t>(audio.rate));
    put32(bytes, static_cast<uint32_t>(audio.rate) * numChannels * 4);
    put16(bytes, numChannels * 4);
    put16(bytes, 32);
    put16(bytes, 0);
    bytes.insert(bytes.end(), {'f', 'a', 'c', 't'});
    put32(bytes, 4);
    put32(bytes, static_cast<uint32_t>(frames));
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    put32(bytes, static_cast<uint32_t>(dataBytes));
    for (size_t i = 0; i < frames; ++i)
        for (uint32_t c = 0; c < numChannels; ++c) {
            uint32_t bits;
            std::memcpy(&bits, &audio.channels[c][i], 4);
            put32(bytes, bits);
        }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": cannot create";
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

// Reads a 32-bit float WAVE file; false with a message in `error` for anything else.
inline bool read(const std::string& path, Audio& audio, std::string& error) {
    using namespace detail;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": cannot open";
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = path + ": not a RIFF WAVE file";
        return false;
    }
    uint32_t numChannels = 0, bits = 0, format = 0;
    const unsigned char* data = nullptr;
    size_t dataBytes = 0;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + at;
        const size_t size = get32(chunk + 4);
        const size_t available = bytes.size() - at - 8;
        const size_t body = size < available ? size : available;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && body >= 16) {
            format = get16(chunk + 8);
            numChannels = get16(chunk + 10);
            audio.rate = static_cast<int>(get32(chunk + 12));
            bits = get16(chunk + 22);
            // The extensible header names the real format in its sub-format GUID's first bytes.
            if (format == 0xfffe && body >= 26) format = get16(chunk + 32);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataBytes = body;
        }
        at += 8 + size + (size & 1);
    }
    if (format != 3 || bits != 32 || numChannels == 0) {
        error = path + ": not 32-bit float WAVE (format " + std::to_string(format) + ", " +
                std::to_string(bits) + " bits, " + std::to_string(numChannels) + " channels)";
        return false;
    }
    if (data == nullptr) {
        error = path + ": no data chunk";
        return false;
    }
    const size_t frames = dataBytes / (4 * numChannels);
    audio.channels.assign(numChannels, std::vector<float>(frames));
    for (size_t i = 0; i < frames; ++i)
        for (uint32_t c = 0; c < numChannels; ++c) {
            const uint32_t word = get32(data + 4 * (i * numChannels + c));
            std::memcpy(&audio.channels[c][i], &word, 4);
        }
    return true;
}

} // namespace wav
