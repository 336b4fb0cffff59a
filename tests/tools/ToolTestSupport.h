#pragma once

// Running the built xetetra (and other programs) as a subprocess, and writing and reading the
// sound files it works on.

#include "support/TempDirectory.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tooltest {

using Channels = std::vector<std::vector<float>>;

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct RunResult {
    int status = -1; // exit code; 128 + signal when killed
    std::string out;
    std::string err;
};

// How a program is run: fileSizeLimit (bytes, when positive) runs it under RLIMIT_FSIZE, so
// that a write fails as on a full disk; timeoutSeconds (when positive) kills it with SIGALRM should
// it hang.
struct RunOptions {
    long fileSizeLimit = -1;
    unsigned timeoutSeconds = 0;
    // Changes to the environment: "NAME=value" sets a variable, "NAME" alone unsets it.
    std::vector<std::string> environment;
    // Runs in the child before anything else; a non-zero answer ends the child with that code.
    std::function<int()> prepare;
};

// Runs the program with the arguments in `directory`, standard output and error captured.
inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& directory = "", const RunOptions& options = {}) {
    RunResult result;
    char outName[] = "/tmp/xetetra-run-out-XXXXXX";
    char errName[] = "/tmp/xetetra-run-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);
    if (outFd < 0 || errFd < 0) return result;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        for (const std::string& change : options.environment) {
            const size_t equals = change.find('=');
            if (equals == std::string::npos)
                unsetenv(change.c_str());
            else
                setenv(change.substr(0, equals).c_str(), change.c_str() + equals + 1, 1);
        }
        if (options.prepare) {
            const int prepared = options.prepare();
            if (prepared != 0) _exit(prepared);
        }
        if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
        if (options.fileSizeLimit > 0) {
            struct rlimit limit;
            limit.rlim_cur = static_cast<rlim_t>(options.fileSizeLimit);
            limit.rlim_max = static_cast<rlim_t>(options.fileSizeLimit);
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        // The alarm outlives exec.
        if (options.timeoutSeconds > 0) alarm(options.timeoutSeconds);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        result.status = WIFEXITED(status) ? WEXITSTATUS(status)
                                          : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    }
    close(outFd);
    close(errFd);
    result.out = readText(outName);
    result.err = readText(errName);
    unlink(outName);
    unlink(errName);
    return result;
}

inline RunResult runTool(const std::vector<std::string>& args, const std::string& directory = "",
                         const RunOptions& options = {}) {
    return runProgram(std::string(XETETRA_BINARY_DIR) + "/xetetra", args, directory, options);
}

// Writes the channels interleaved; format is a libsndfile format such as
// SF_FORMAT_WAV | SF_FORMAT_FLOAT.
inline bool writeSound(const std::string& path, const Channels& channels, int rate = 48000,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    const size_t frames = channels.empty() ? 0 : channels[0].size();
    std::vector<float> interleaved(frames * channels.size());
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels.size(); ++c)
            interleaved[i * channels.size() + c] = channels[c][i];
    const bool written =
        sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames)) ==
        static_cast<sf_count_t>(frames);
    return sf_close(file) == 0 && written;
}

struct Sound {
    bool ok = false;
    SF_INFO info = {};
    // SF_AMBISONIC_B_FORMAT when a WAVE-EX file is marked as B-format.
    int ambisonic = 0;
    Channels channels;
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// The file's samples; when it ends before its header says, the frames it has, and ok false.
inline Sound readSound(const std::string& path) {
    Sound sound;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (file == nullptr) return sound;
    sound.ambisonic = sf_command(file, SFC_WAVEX_GET_AMBISONIC, nullptr, 0);
    const size_t channels = static_cast<size_t>(sound.info.channels);
    std::vector<float> interleaved(static_cast<size_t>(sound.info.frames) * channels);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), sound.info.frames);
    sf_close(file);
    sound.channels.assign(channels,
                          std::vector<float>(static_cast<size_t>(std::max<sf_count_t>(got, 0))));
    for (size_t i = 0; i < sound.frames(); ++i)
        for (size_t c = 0; c < channels; ++c)
            sound.channels[c][i] = interleaved[i * channels + c];
    sound.ok = got == sound.info.frames;
    return sound;
}

// A recording with something in every band: uncorrelated noise per capsule (a fixed generator),
// a different low tone per capsule and an impulse of its own in each capsule. Peaks stay below
// 0.5.
inline Channels testRecording(size_t frames, int rate = 48000, uint32_t seed = 1) {
    Channels channels(4, std::vector<float>(frames));
    uint32_t state = seed;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < 4; ++c) {
            state = state * 1664525u + 1013904223u;
            const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
            const double tone =
                std::sin(2.0 * M_PI * (60.0 + 37.0 * c) * static_cast<double>(i) / rate);
            channels[static_cast<size_t>(c)][i] = static_cast<float>(0.2 * noise + 0.15 * tone);
        }
    for (int c = 0; c < 4; ++c) {
        const size_t at = frames / 3 + static_cast<size_t>(c) * 97;
        if (at < frames) channels[static_cast<size_t>(c)][at] += 0.1f;
    }
    return channels;
}

// The DFT of h at frequency f, summed directly.
template <typename T> std::complex<double> dft(const std::vector<T>& h, double f, double rate) {
    std::complex<double> sum = 0.0;
    for (size_t n = 0; n < h.size(); ++n)
        sum += static_cast<double>(h[n]) * std::polar(1.0, -2.0 * M_PI * f / rate * n);
    return sum;
}

// Lines of a text, without their newlines.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

} // namespace tooltest
