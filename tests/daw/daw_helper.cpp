// The plug-in's side of the DAW test: writes the test recording, renders it through the shared
// object driven directly like a host (tests/integration/VstHost.h), and measures how an export
// from Ardour lines up with and differs from that rendering. Prints its findings as JSON; the
// test script (daw_test.py) judges them.

#include "VstHost.h"
#include "WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 4;

// The recording: silence, one impulse in all four capsules, independent noise, tones with
// different levels per capsule, and one impulse per capsule at its own time.
constexpr long kFrames = 144000;
constexpr long kImpulse = 4800;
constexpr float kImpulseLevel = 0.5f;
constexpr long kNoiseStart = 24000, kNoiseEnd = 48000;
constexpr long kToneStart = 60000, kToneEnd = 96000;
constexpr long kCapsuleImpulses = 110000, kCapsuleImpulseSpacing = 100;

int usage() {
    std::fprintf(stderr,
                 "usage: daw_helper generate <dir>\n"
                 "       daw_helper names <XeTetraVST.so>\n"
                 "       daw_helper rename <XeTetraVST.so> <bank in> <program> <name> <bank out>\n"
                 "       daw_helper render <XeTetraVST.so> <recording dir> <out.wav> <position>"
                 " <length> <block> <program> <preroll> [<param>=<value>...]\n"
                 "       daw_helper compare <exported.wav> <reference.wav> <impulse> <max lag>\n"
                 "       daw_helper switch <exported.wav> <before.wav> <after.wav> <lag>"
                 " <tolerance>\n");
    return 2;
}

bool parseLong(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

// A deterministic noise source, the same on every machine.
class Noise {
public:
    explicit Noise(uint32_t seed) : state(seed) {}
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<double>(state >> 8) / 8388608.0 - 1.0);
    }

private:
    uint32_t state;
};

std::string capsuleFile(const std::string& dir, int c) {
    return dir + "/capsule-" + std::to_string(c + 1) + ".wav";
}

int generate(const std::string& dir) {
    wav::Channels channels(kChannels, std::vector<float>(kFrames, 0.0f));
    const double pi = 3.14159265358979323846;
    for (int c = 0; c < kChannels; ++c) {
        std::vector<float>& x = channels[c];
        x[kImpulse] = kImpulseLevel;
        Noise noise(12345u + 977u * static_cast<uint32_t>(c));
        for (long i = kNoiseStart; i < kNoiseEnd; ++i)
            x[i] = 0.25f * noise.next();
        const double level = 0.1 + 0.05 * c;
        for (long i = kToneStart; i < kToneEnd; ++i) {
            const double t = static_cast<double>(i - kToneStart) / kRate;
            const double envelope =
                std::sin(pi * static_cast<double>(i - kToneStart) / (kToneEnd - kToneStart));
            x[i] = static_cast<float>(
                level * envelope *
                (std::sin(2 * pi * 60.0 * t) + 0.5 * std::sin(2 * pi * (1000.0 + 250.0 * c) * t)));
        }
        x[kCapsuleImpulses + kCapsuleImpulseSpacing * c] = 0.4f;
    }
    for (int c = 0; c < kChannels; ++c) {
        wav::Audio mono;
        mono.rate = kRate;
        mono.channels.push_back(channels[c]);
        std::string error;
        if (!wav::write(capsuleFile(dir, c), mono, error)) {
            std::fprintf(stderr, "daw_helper: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("{\"rate\": %d, \"frames\": %ld, \"impulse\": %ld, \"files\": [", kRate, kFrames,
                kImpulse);
    for (int c = 0; c < kChannels; ++c)
        std::printf("%s\"%s\"", c > 0 ? ", " : "", capsuleFile(dir, c).c_str());
    std::printf("]}\n");
    return 0;
}

// JSON string contents: the names here are plain, but never let one break the output.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (static_cast<unsigned char>(ch) < 0x20) {
            out += '?';
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

bool openPlugin(const vsthost::Library& library, vsthost::HostState& host,
                std::unique_ptr<vsthost::Plugin>& plugin, const std::string& path) {
    if (!library.loaded()) {
        std::fprintf(stderr, "daw_helper: cannot load %s: %s\n", path.c_str(),
                     library.loadError().c_str());
        return false;
    }
    plugin = std::make_unique<vsthost::Plugin>(library, &host);
    if (!plugin->ok()) {
        std::fprintf(stderr, "daw_helper: %s gave no plug-in record\n", path.c_str());
        return false;
    }
    plugin->dispatch(effOpen);
    return true;
}

// What the program-name request gives once each program is selected: the names a host must list.
int names(const std::string& path) {
    vsthost::Library library(path);
    vsthost::HostState host;
    std::unique_ptr<vsthost::Plugin> plugin;
    if (!openPlugin(library, host, plugin, path)) return 1;
    std::printf("{\"programs\": [");
    for (int p = 0; p < plugin->record()->numPrograms; ++p) {
        plugin->setProgram(p);
        std::printf("%s%s", p > 0 ? ", " : "", quoted(plugin->programName()).c_str());
    }
    std::printf("]}\n");
    return 0;
}

bool readBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    int c;
    while ((c = std::fgetc(file)) != EOF)
        bytes.push_back(static_cast<uint8_t>(c));
    return std::fclose(file) == 0 && !bytes.empty();
}

// What a user's rename in the plug-in's window does to a session's state: the saved bank
// restored into the plug-in, the program selected and renamed, the bank saved again.
int rename(const std::string& path, const std::string& in, long program, const std::string& name,
           const std::string& out) {
    std::vector<uint8_t> bank;
    if (!readBytes(in, bank)) {
        std::fprintf(stderr, "daw_helper: cannot read %s\n", in.c_str());
        return 1;
    }
    vsthost::Library library(path);
    vsthost::HostState host;
    std::unique_ptr<vsthost::Plugin> plugin;
    if (!openPlugin(library, host, plugin, path)) return 1;
    if (plugin->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data()) != 1) {
        std::fprintf(stderr, "daw_helper: the plug-in refused the bank of %s\n", in.c_str());
        return 1;
    }
    plugin->setProgram(static_cast<int>(program));
    plugin->setProgramName(name);
    void* data = nullptr;
    const VstIntPtr size = plugin->dispatch(effGetChunk, 0, 0, &data);
    FILE* file = std::fopen(out.c_str(), "wb");
    const bool written =
        file != nullptr && size > 0 &&
        std::fwrite(data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size);
    if (file == nullptr || std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "daw_helper: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("{\"program\": %s}\n", quoted(plugin->programName()).c_str());
    return 0;
}

int render(int argc, char** argv) {
    const std::string path = argv[2], dir = argv[3], out = argv[4];
    long position, length, block, program, preroll;
    if (!parseLong(argv[5], position) || !parseLong(argv[6], length) ||
        !parseLong(argv[7], block) || !parseLong(argv[8], program) ||
        !parseLong(argv[9], preroll) || position < 0 || block <= 0 || preroll < 0 ||
        length < position + kFrames)
        return usage();
    std::vector<std::pair<long, float>> parameters;
    for (int a = 10; a < argc; ++a) {
        const char* equals = std::strchr(argv[a], '=');
        long index;
        if (equals == nullptr ||
            !parseLong(std::string(argv[a], static_cast<size_t>(equals - argv[a])).c_str(), index))
            return usage();
        parameters.emplace_back(index, std::strtof(equals + 1, nullptr));
    }

    // The pre-roll is silence the plug-in processes before the timeline starts: it sets where the
    // correction filters' 1024-sample frames fall against the signal, which (their overlap-save
    // being circular) changes the output, as a host's history with the plug-in does.
    vsthost::Channels input = vsthost::makeChannels(static_cast<size_t>(preroll + length));
    position += preroll;
    for (int c = 0; c < kChannels; ++c) {
        wav::Audio capsule;
        std::string error;
        if (!wav::read(capsuleFile(dir, c), capsule, error) || capsule.channels.size() != 1 ||
            capsule.channels[0].size() != static_cast<size_t>(kFrames)) {
            std::fprintf(stderr, "daw_helper: %s\n",
                         error.empty() ? "recording of unexpected shape" : error.c_str());
            return 1;
        }
        std::copy(capsule.channels[0].begin(), capsule.channels[0].end(),
                  input[c].begin() + position);
    }

    vsthost::Library library(path);
    vsthost::HostState host;
    std::unique_ptr<vsthost::Plugin> plugin;
    if (!openPlugin(library, host, plugin, path)) return 1;
    plugin->start(static_cast<float>(kRate), static_cast<int>(block));
    plugin->setProgram(static_cast<int>(program));
    for (const auto& [index, value] : parameters)
        plugin->setParameter(static_cast<VstInt32>(index), value);
    const vsthost::Channels output = plugin->process(input, static_cast<int>(block));

    wav::Audio result;
    result.rate = kRate;
    for (const std::vector<float>& channel : output)
        result.channels.emplace_back(channel.begin() + preroll, channel.end());
    std::string error;
    if (!wav::write(out, result, error)) {
        std::fprintf(stderr, "daw_helper: %s\n", error.c_str());
        return 1;
    }
    std::printf("{\"program\": %s, \"initial_delay\": %d}\n", quoted(plugin->programName()).c_str(),
                plugin->record()->initialDelay);
    return 0;
}

bool readFour(const std::string& path, wav::Audio& audio) {
    std::string error;
    if (!wav::read(path, audio, error)) {
        std::fprintf(stderr, "daw_helper: %s\n", error.c_str());
        return false;
    }
    if (audio.channels.size() != kChannels || audio.rate != kRate) {
        std::fprintf(stderr, "daw_helper: %s has %zu channels at %d Hz, expected 4 at %d\n",
                     path.c_str(), audio.channels.size(), audio.rate, kRate);
        return false;
    }
    return true;
}

// Index of the largest magnitude in [from, to).
long peakIndex(const std::vector<float>& x, long from, long to) {
    long best = from;
    for (long i = from; i < to && i < static_cast<long>(x.size()); ++i)
        if (std::fabs(x[i]) > std::fabs(x[best])) best = i;
    return best;
}

// How the export lines up with the direct rendering (the lag that correlates best over the noise
// burst, searched both ways) and how far apart the samples are once aligned.
int compare(const std::string& exportedPath, const std::string& referencePath, long impulse,
            long maxLag) {
    wav::Audio exported, reference;
    if (!readFour(exportedPath, exported) || !readFour(referencePath, reference)) return 1;
    const long n = static_cast<long>(exported.channels[0].size());
    const long m = static_cast<long>(reference.channels[0].size());

    // The noise burst of the exported file, where an impulse's position cannot fool the search.
    const long windowStart = impulse + (kNoiseStart - kImpulse);
    const long windowLength = 8192;
    double bestScore = -1.0, secondScore = -1.0;
    long bestLag = 0;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double cross = 0.0, energyE = 0.0, energyR = 0.0;
        for (int c = 0; c < kChannels; ++c) {
            const std::vector<float>& e = exported.channels[c];
            const std::vector<float>& r = reference.channels[c];
            for (long i = windowStart; i < windowStart + windowLength; ++i) {
                const long j = i + lag;
                const double ev = i >= 0 && i < n ? e[i] : 0.0;
                const double rv = j >= 0 && j < m ? r[j] : 0.0;
                cross += ev * rv;
                energyE += ev * ev;
                energyR += rv * rv;
            }
        }
        const double score = energyE > 0 && energyR > 0 ? cross / std::sqrt(energyE * energyR) : 0;
        if (score > bestScore) {
            secondScore = bestScore;
            bestScore = score;
            bestLag = lag;
        } else if (score > secondScore) {
            secondScore = score;
        }
    }

    // Every exported sample against the reference sample it should equal.
    double maxError[kChannels] = {0, 0, 0, 0}, peak[kChannels] = {0, 0, 0, 0};
    long worstAt[kChannels] = {0, 0, 0, 0};
    long unmatched = 0;
    double unmatchedPeak = 0.0;
    for (int c = 0; c < kChannels; ++c) {
        const std::vector<float>& e = exported.channels[c];
        const std::vector<float>& r = reference.channels[c];
        for (long i = 0; i < n; ++i) {
            const long j = i + bestLag;
            if (j < 0 || j >= m) {
                ++unmatched;
                unmatchedPeak = std::fmax(unmatchedPeak, std::fabs(e[i]));
                continue;
            }
            const double error = std::fabs(static_cast<double>(e[i]) - r[j]);
            if (error > maxError[c]) {
                maxError[c] = error;
                worstAt[c] = i;
            }
            peak[c] = std::fmax(peak[c], std::fabs(r[j]));
        }
    }

    // Where the impulse that all four capsules received lands in W: before the noise begins.
    const long impulseTo = windowStart;
    const long exportedPeak = peakIndex(exported.channels[0], 0, std::min(impulseTo, n));
    const long referencePeak = peakIndex(reference.channels[0], 0, std::min(impulseTo + maxLag, m));

    std::printf("{\"frames\": %ld, \"reference_frames\": %ld, \"lag\": %ld, \"correlation\": %.9f, "
                "\"second_correlation\": %.9f, \"exported_impulse_peak\": %ld, "
                "\"reference_impulse_peak\": %ld, \"unmatched_samples\": %ld, "
                "\"unmatched_peak\": %.9g, \"max_error\": [",
                n, m, bestLag, bestScore, secondScore, exportedPeak, referencePeak, unmatched,
                unmatchedPeak);
    for (int c = 0; c < kChannels; ++c)
        std::printf("%s%.9g", c > 0 ? ", " : "", maxError[c]);
    std::printf("], \"worst_at\": [");
    for (int c = 0; c < kChannels; ++c)
        std::printf("%s%ld", c > 0 ? ", " : "", worstAt[c]);
    std::printf("], \"peak\": [");
    for (int c = 0; c < kChannels; ++c)
        std::printf("%s%.9g", c > 0 ? ", " : "", peak[c]);
    std::printf("]}\n");
    return 0;
}

// An export whose parameter changed once: up to which frame it equals the rendering with the
// first value, and from which frame on the one with the second value.
int switchPoint(const std::string& exportedPath, const std::string& beforePath,
                const std::string& afterPath, long lag, double tolerance) {
    wav::Audio exported, before, after;
    if (!readFour(exportedPath, exported) || !readFour(beforePath, before) ||
        !readFour(afterPath, after))
        return 1;
    const long n = static_cast<long>(exported.channels[0].size());
    const long m = static_cast<long>(std::min(before.channels[0].size(), after.channels[0].size()));
    long firstOffBefore = n, lastOffAfter = -1, differing = 0;
    for (long i = 0; i < n; ++i) {
        const long j = i + lag;
        if (j < 0 || j >= m) continue;
        for (int c = 0; c < kChannels; ++c) {
            const double e = exported.channels[c][i];
            const double b = before.channels[c][j], a = after.channels[c][j];
            if (std::fabs(b - a) > tolerance) ++differing;
            if (std::fabs(e - b) > tolerance && firstOffBefore == n) firstOffBefore = i;
            if (std::fabs(e - a) > tolerance) lastOffAfter = i;
        }
    }
    std::printf("{\"first_frame_off_before\": %ld, \"last_frame_off_after\": %ld, "
                "\"differing_samples\": %ld}\n",
                firstOffBefore, lastOffAfter, differing);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "generate" && argc == 3) return generate(argv[2]);
    if (command == "names" && argc == 3) return names(argv[2]);
    if (command == "render" && argc >= 10) return render(argc, argv);
    long a, b;
    if (command == "rename" && argc == 7 && parseLong(argv[4], a))
        return rename(argv[2], argv[3], a, argv[5], argv[6]);
    if (command == "compare" && argc == 6 && parseLong(argv[4], a) && parseLong(argv[5], b))
        return compare(argv[2], argv[3], a, b);
    if (command == "switch" && argc == 7 && parseLong(argv[5], a))
        return switchPoint(argv[2], argv[3], argv[4], a, std::strtod(argv[6], nullptr));
    return usage();
}
