// The plug-in's side of the DAW test: writes the test recording, renders it through the shared
// object driven directly (tests/integration/VstHost.h), renames a program inside a saved bank, and
// measures how an export from Ardour lines up with a rendering. Prints its findings as JSON for
// daw_test.py to judge.

#include "VstHost.h"
#include "tools/ToolTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
// The recording: silence, one impulse in all four capsules, then independent noise.
constexpr long kFrames = 72000, kImpulse = 4800, kNoiseStart = 24000, kNoiseEnd = 48000;

std::string capsuleFile(const std::string& dir, int c) {
    return dir + "/capsule-" + std::to_string(c + 1) + ".wav";
}

// The channels of a WAVE file at the test's rate.
vsthost::Channels readWav(const std::string& path) {
    const tooltest::Sound sound = tooltest::readSound(path);
    if (!sound.ok || sound.info.samplerate != kRate) {
        std::fprintf(stderr, "daw_helper: cannot read %s at %d Hz\n", path.c_str(), kRate);
        std::exit(1);
    }
    return sound.channels;
}

std::unique_ptr<vsthost::Plugin> loadPlugin(const vsthost::Library& library,
                                            vsthost::HostState& host) {
    auto plugin = std::make_unique<vsthost::Plugin>(library, &host);
    if (!library.loaded() || !plugin->ok()) {
        std::fprintf(stderr, "daw_helper: cannot load the plug-in: %s\n",
                     library.loadError().c_str());
        std::exit(1);
    }
    plugin->dispatch(effOpen);
    return plugin;
}

int generate(const std::string& dir) {
    vsthost::Channels channels = vsthost::makeChannels(kFrames);
    uint32_t state = 12345u;
    for (int c = 0; c < 4; ++c) {
        channels[c][kImpulse] = 0.5f;
        for (long i = kNoiseStart; i < kNoiseEnd; ++i) {
            state = state * 1664525u + 1013904223u;
            channels[c][i] =
                static_cast<float>(static_cast<double>(state >> 8) / 33554432.0 - 0.25);
        }
        if (!tooltest::writeSound(capsuleFile(dir, c), {channels[c]}, kRate,
                                  SF_FORMAT_WAV | SF_FORMAT_FLOAT))
            return 1;
    }
    std::printf("{\"frames\": %ld}\n", kFrames);
    return 0;
}

// What a user's rename in the plug-in's window does to a session's state: the saved bank
// restored into the plug-in, the program selected and renamed, the bank saved again.
int rename(const std::string& path, const std::string& in, int program, const std::string& name,
           const std::string& out) {
    std::ifstream file(in, std::ios::binary);
    std::vector<char> bank((std::istreambuf_iterator<char>(file)), {});
    vsthost::Library library(path);
    vsthost::HostState host;
    auto plugin = loadPlugin(library, host);
    if (plugin->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data()) != 1)
        return 1;
    plugin->setProgram(program);
    plugin->setProgramName(name);
    void* data = nullptr;
    const VstIntPtr size = plugin->dispatch(effGetChunk, 0, 0, &data);
    std::ofstream saved(out, std::ios::binary);
    saved.write(static_cast<const char*>(data), size);
    std::printf("{\"program\": \"%s\"}\n", plugin->programName().c_str());
    return saved.good() ? 0 : 1;
}

// The recording at `position` of `length` frames through the plug-in at `program` with the
// parameters given, in blocks as Ardour runs them. The pre-roll is silence processed first: it
// sets where the correction filters' 1024-sample frames fall against the signal, which changes
// the output, as a host's history with the plug-in does.
vsthost::Channels render(const vsthost::Library& library, const std::string& dir, long position,
                         long length, int block, int program, long preroll,
                         const std::vector<std::string>& settings, int* delay) {
    vsthost::Channels input = vsthost::makeChannels(static_cast<size_t>(preroll + length));
    for (int c = 0; c < 4; ++c) {
        const vsthost::Channels capsule = readWav(capsuleFile(dir, c));
        std::copy(capsule[0].begin(), capsule[0].end(), input[c].begin() + preroll + position);
    }
    vsthost::HostState host;
    auto plugin = loadPlugin(library, host);
    plugin->start(kRate, block);
    plugin->setProgram(program);
    for (const std::string& setting : settings) // <index>=<value>
        plugin->setParameter(std::stoi(setting), std::stof(setting.substr(setting.find('=') + 1)));
    vsthost::Channels output = plugin->process(input, block);
    for (auto& channel : output)
        channel.erase(channel.begin(), channel.begin() + preroll);
    *delay = plugin->record()->initialDelay;
    return output;
}

// An export against the rendering, which trails it by the delay the plug-in announces: where the
// export's length, and how far apart the aligned samples are. With a second setting
// after "then": the last frame the export equals the rendering without it, and the first from
// which on it equals the one with it.
int compare(char** argv, int argc) {
    const vsthost::Library library(argv[2]);
    const vsthost::Channels exported = readWav(argv[4]);
    const long position = std::atol(argv[5]), length = std::atol(argv[6]);
    const int block = std::atoi(argv[7]), program = std::atoi(argv[8]);
    const long preroll = std::atol(argv[9]);
    std::vector<std::string> settings(argv + 10, argv + argc);
    const auto split = std::find(settings.begin(), settings.end(), "then");
    const std::string then = split != settings.end() && split + 1 != settings.end() ? split[1] : "";
    settings.erase(split, settings.end());
    int lag = 0;
    const vsthost::Channels reference =
        render(library, argv[3], position, length, block, program, preroll, settings, &lag);
    const long n = static_cast<long>(exported[0].size());
    auto at = [](const vsthost::Channels& x, int c, long i) {
        return i >= 0 && i < static_cast<long>(x[0].size()) ? static_cast<double>(x[c][i]) : 0.0;
    };
    double error[4] = {}; // beyond the rendering's end, against silence
    for (int c = 0; c < 4; ++c)
        for (long i = 0; i < n; ++i)
            error[c] =
                std::fmax(error[c], std::fabs(at(exported, c, i) - at(reference, c, i + lag)));
    std::printf("{\"initial_delay\": %d, \"frames\": %ld, \"error\": [%g, %g, %g, %g]", lag, n,
                error[0], error[1], error[2], error[3]);
    if (!then.empty()) {
        settings.push_back(then);
        const vsthost::Channels after =
            render(library, argv[3], position, length, block, program, preroll, settings, &lag);
        long lastBefore = n, firstAfter = 0;
        for (long i = n - 1; i >= 0; --i)
            for (int c = 0; c < 4; ++c) {
                if (at(exported, c, i) != at(reference, c, i + lag)) lastBefore = i - 1;
                if (at(exported, c, i) != at(after, c, i + lag) && firstAfter == 0)
                    firstAfter = i + 1;
            }
        std::printf(", \"last_equal_before\": %ld, \"first_equal_after\": %ld", lastBefore,
                    firstAfter);
    }
    std::printf("}\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 3) return generate(argv[2]);
    if (command == "rename" && argc == 7)
        return rename(argv[2], argv[3], std::atoi(argv[4]), argv[5], argv[6]);
    if (command == "compare" && argc >= 10) return compare(argv, argc);
    std::fprintf(stderr, "usage: daw_helper generate|rename|compare ...\n");
    return 2;
}
