#pragma once

#include "core/EngineSettings.h"
#include "core/SettingsExchange.h"
#include "dsp/QuadConvolver.h"
#include "dsp/QuadEQ.h"
#include "dsp/QuadIIR.h"
#include "dsp/QuadLF.h"

#include <atomic>
#include <memory>

// The audio side of the processor: the filter memory of every stage and the per-block chain
// (LF filters, capsule equalisers, matrix, post-matrix set, output map) run on the settings the
// control side hands over. It only reads settings: it designs, allocates, frees, locks and waits
// for nothing.
//
// Settings taken while audio runs are crossfaded in, stage by stage: a stage whose settings
// changed runs old and new side by side for a short fade (the new from empty memory), so that no
// jump of a setting makes the output ring or overshoot. The first block after construction or
// resume, and the first after a sample-rate change, switch at once instead.
class CSignalChain {
public:
    static constexpr int kMaxSets = 8;
    // Frames processed at a time; a host's block is cut into pieces of at most this.
    static constexpr int kChunk = 256;

    explicit CSignalChain(CSettingsExchange& exchange);
    CSignalChain(const CSignalChain&) = delete;
    CSignalChain& operator=(const CSignalChain&) = delete;

    // Control side, at construction (before any block): the memory post-matrix set n needs.
    void addSetMemory(int set, bool convolver, bool iir, bool equaliser);
    // Control side, any time: the next settings taken apply at once, without a fade.
    void restart() { restartPending.store(true, std::memory_order_release); }

    // Audio side. Inputs may be null (silence) and may share buffers with the outputs.
    void process(const float* const* inputs, float* const* outputs, long n);

    // Frames a crossfade lasts at a sample rate: about 4 ms.
    static long fadeFrames(float rate);

private:
    struct SetMemory {
        std::unique_ptr<CQuadConvolver> convolver;
        std::unique_ptr<CQuadIIR> iir;
        std::unique_ptr<CQuadEQ> equaliser;
        void clear();
        void run(const CPostSetDesign& design, float* frames, long n);
    };

    // Takes settings handed over: at once when `restart` (or at a new rate), else with a fade of
    // the stages that changed.
    void adopt(const CEngineSettings* next, bool restart);
    // True when the settings run no stage with memory and map no output: the matrix at most.
    static bool onlyTheMatrix(const CEngineSettings& settings);
    void runChain(float* frames, long n);
    // Runs one stage on the frames: `stage(settings, frames, newMemory)` with the current
    // settings, or, while the stage fades, with the old ones in place and the new ones (on their
    // own memory) beside them, mixed from the old to the new.
    template <typename Stage> void runStage(bool fade, float* frames, long n, const Stage& stage);
    void endFade();
    void runSet(int set, const CPostSetDesign* design, float* frames, long n);
    void mix(float* frames, const float* faded, long n) const;

    CSettingsExchange& exchange;
    std::atomic<bool> restartPending;
    const CEngineSettings* current;
    const CEngineSettings* previous; // the settings a running fade leaves; else current

    // Which stages fade, how far the fade has come and how long it lasts.
    bool fading;
    bool fadeLF, fadeEQ, fadeMatrix, fadeSet, fadeOutput;
    long fadePosition, fadeLength;

    // Two memories for each recursive capsule stage: the live one and the one a fade starts.
    CQuadLF lf[2];
    CQuadEQ eq[2];
    int lfLive, eqLive;
    SetMemory sets[kMaxSets];

    alignas(32) float frames[4 * kChunk];
    alignas(32) float faded[4 * kChunk];
};
