#pragma once

// A minimal VST 2.4 host for tests: loads the built shared object with dlopen, answers the
// plug-in's requests like a host would and records each of them, and drives the plug-in only
// through its record.

#include "vst/AEffect.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace vsthost {

using EntryProc = AEffect* (*)(audioMasterCallback);

// One request the plug-in made of the host.
struct HostRequest {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

// The host side of one or more plug-in instances: what it answers and what it was asked.
class HostState {
public:
    VstIntPtr versionAnswer = 2400;

    std::vector<HostRequest> requests() const {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }
    int count(VstInt32 opcode) const {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const HostRequest& r : log)
            n += r.opcode == opcode ? 1 : 0;
        return n;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        log.clear();
    }
    VstIntPtr answer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                     float opt = 0.0f) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.push_back({effect, opcode, index, value, opt});
        }
        switch (opcode) {
        case audioMasterVersion:
            return versionAnswer;
        case audioMasterIOChanged:
            return 1;
        default:
            return 0;
        }
    }

private:
    mutable std::mutex mutex;
    std::vector<HostRequest> log;
};

// The host a request belongs to: the record's user field once the host owns the record, the
// loading thread's host while the entry point runs (the record does not exist yet, or is still
// being built).
inline thread_local HostState* loadingHost = nullptr;

inline VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void*, float opt) {
    HostState* host = nullptr;
    if (effect != nullptr && effect->user != nullptr) host = static_cast<HostState*>(effect->user);
    if (host == nullptr) host = loadingHost;
    return host != nullptr ? host->answer(effect, opcode, index, value, opt) : 0;
}

// The shared object, loaded by path. dlopen counts references, so several of these may exist.
class Library {
public:
    explicit Library(const std::string& path) {
        // cairo and pixman, which the editor uses, keep static caches that LeakSanitizer reports
        // as lost once dlclose unloads them along with the plug-in. They are not ours: keep
        // cairo resident, so the leak check sees only what the plug-in itself allocates.
        dlopen("libcairo.so.2", RTLD_NOW | RTLD_NODELETE);
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) error = dlerror();
    }
    ~Library() {
        if (handle != nullptr) dlclose(handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle != nullptr; }
    const std::string& loadError() const { return error; }
    EntryProc entry(const char* name = "VSTPluginMain") const {
        return handle != nullptr ? reinterpret_cast<EntryProc>(dlsym(handle, name)) : nullptr;
    }

    // Calls the entry point as a host does; the record then belongs to host.
    AEffect* load(HostState* host, const char* name = "VSTPluginMain") const {
        EntryProc proc = entry(name);
        if (proc == nullptr) return nullptr;
        HostState* previous = loadingHost;
        loadingHost = host;
        AEffect* effect = proc(hostCallback);
        loadingHost = previous;
        if (effect != nullptr) effect->user = host;
        return effect;
    }

private:
    void* handle = nullptr;
    std::string error;
};

// Four channels of samples.
using Channels = std::vector<std::vector<float>>;

inline Channels makeChannels(size_t frames, float value = 0.0f) {
    return Channels(4, std::vector<float>(frames, value));
}

// Uniform noise in [-amplitude, amplitude) on every channel.
inline Channels noise(size_t frames, unsigned seed, float amplitude = 0.5f) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    Channels in = makeChannels(frames);
    for (auto& channel : in)
        std::generate(channel.begin(), channel.end(), [&] { return uniform(generator); });
    return in;
}

// The largest magnitude of a signal, or of its difference from another, over frames [from, to).
inline double peak(const Channels& signal, size_t from = 0, size_t to = SIZE_MAX,
                   const Channels* minus = nullptr) {
    double m = 0.0;
    for (size_t k = 0; k < 4; ++k)
        for (size_t i = from; i < to && i < signal[k].size(); ++i)
            m = std::max(m, std::fabs(double(signal[k][i]) - (minus ? (*minus)[k][i] : 0.0f)));
    return m;
}

// A host's text buffer, larger than anything a plug-in may write, filled with a canary so that any
// byte written past the text shows.
struct HostBuffer {
    char bytes[512];
    HostBuffer() { std::memset(bytes, 0x5A, sizeof(bytes)); }
    bool untouchedFrom(size_t start) const {
        return std::all_of(bytes + start, std::end(bytes), [](char b) { return b == 0x5A; });
    }
};

// One loaded instance, driven only through its record.
class Plugin {
public:
    Plugin(const Library& library, HostState* host) : effect(library.load(host)) {}
    ~Plugin() { close(); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool ok() const { return effect != nullptr; }
    AEffect* record() const { return effect; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) const {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void setParameter(VstInt32 index, float value) const {
        effect->setParameter(effect, index, value);
    }
    float getParameter(VstInt32 index) const { return effect->getParameter(effect, index); }

    // The texts of a parameter or program, read into a generous buffer as real hosts provide.
    std::string text(VstInt32 opcode, VstInt32 index = 0) const {
        char buffer[256];
        std::memset(buffer, 0, sizeof(buffer));
        dispatch(opcode, index, 0, buffer);
        return buffer;
    }
    std::string parameterDisplay(VstInt32 index) const { return text(effGetParamDisplay, index); }
    std::string programName() const { return text(effGetProgramName); }
    void setProgram(int program) const { dispatch(effSetProgram, 0, program); }
    void setProgramName(const std::string& name) const {
        std::vector<char> copy(name.begin(), name.end());
        copy.push_back('\0');
        dispatch(effSetProgramName, 0, 0, copy.data());
    }
    void setSampleRate(float rate) const { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
    void start(float rate = 48000.0f, int blockSize = 512) const {
        setSampleRate(rate);
        dispatch(effSetBlockSize, 0, blockSize);
        dispatch(effMainsChanged, 0, 1);
    }

    // Off and on again, as a host does to set a plug-in up: what was set meanwhile applies at the
    // next block at once, without the crossfade a change during playback gets.
    void restart() const {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effMainsChanged, 0, 1);
    }

    // One block through processReplacing, at frame offset `first` of the channels.
    void processBlock(const Channels& in, Channels& out, size_t first, int frames) const {
        float* inputs[4];
        float* outputs[4];
        for (int c = 0; c < 4; ++c) {
            inputs[c] = const_cast<float*>(in[c].data()) + first;
            outputs[c] = out[c].data() + first;
        }
        effect->processReplacing(effect, inputs, outputs, frames);
    }

    // The whole signal in blocks whose lengths cycle through `blocks`; in place, the host hands
    // the same buffers as inputs and outputs.
    Channels process(const Channels& in, const std::vector<int>& blocks,
                     bool inPlace = false) const {
        const size_t frames = in[0].size();
        Channels out = inPlace ? in : makeChannels(frames);
        for (size_t b = 0, done = 0; done < frames; ++b) {
            const int n =
                static_cast<int>(std::min<size_t>(blocks[b % blocks.size()], frames - done));
            processBlock(inPlace ? out : in, out, done, n);
            done += static_cast<size_t>(n);
        }
        return out;
    }
    Channels process(const Channels& in, int block = 512) const {
        return process(in, std::vector<int>{block});
    }

    // Request 1 alone; its answer. The record is gone afterwards.
    VstIntPtr closeRequest() {
        const VstIntPtr answer = dispatch(effClose);
        effect = nullptr;
        return answer;
    }

    // Switches off and closes, as hosts do; the record is gone afterwards.
    void close() {
        if (effect == nullptr) return;
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
        effect = nullptr;
    }

private:
    AEffect* effect;
};

} // namespace vsthost
