#pragma once

#include <atomic>
#include <cstdint>

// Levels of the four B-format components (W, X, Y, Z, in whichever order the outputs carry them)
// and their intensity vector, for a window to show. While switched on, the audio thread measures
// each block once, after everything else, and publishes a few atomic values; any thread reads them
// whenever it likes. The published values already cover every block (a falling peak, running
// averages), so a reader that looks only now and then misses nothing. Audio side: no allocation, no
// lock, three exponentials per block.
class COutputMeters {
public:
    // What a reader gets; all linear, all finite.
    struct CReading {
        float peak[4];       // absolute peak, falling 20 dB in 1.7 s once the signal drops
        float meanSquare[4]; // averaged over about 300 ms
        float intensity[3];  // running averages of W*X, W*Y, W*Z, over about 500 ms
        uint32_t blocks;     // blocks measured so far; stays put while nothing is measured
    };

    static constexpr double kPeakFallSeconds = 1.7; // per 20 dB
    static constexpr double kRmsSeconds = 0.3;
    static constexpr double kIntensitySeconds = 0.5;

    COutputMeters();
    COutputMeters(const COutputMeters&) = delete;
    COutputMeters& operator=(const COutputMeters&) = delete;

    // Control side, any time: the rate and whether blocks are measured at all.
    void setSampleRate(float rate);
    void setEnabled(bool state) { enabled.store(state, std::memory_order_relaxed); }
    // Outputs in ambiX's ACN order W, Y, Z, X rather than FuMa's W, X, Y, Z.
    void setACNOrder(bool state) { acnOrder.store(state, std::memory_order_relaxed); }
    // Audio thread: measures one block of the four outputs, when switched on.
    void process(float* const* outputs, long frames);
    // Any thread.
    void read(CReading& reading) const;
    // Any thread: the next block measured starts again from silence.
    void requestReset();

private:
    void clear();

    // Audio-thread state.
    double peak[4];
    double meanSquare[4];
    double intensity[3];
    uint32_t blockCount;

    std::atomic<bool> enabled;
    std::atomic<bool> acnOrder;
    std::atomic<float> rate;

    // What readers see.
    std::atomic<float> publishedPeak[4];
    std::atomic<float> publishedMeanSquare[4];
    std::atomic<float> publishedIntensity[3];
    std::atomic<uint32_t> publishedBlocks;
    std::atomic<bool> resetRequested;
};
