#pragma once

#include "tools/BlockQueue.h"

#include <memory>
#include <string>
#include <vector>

class AXeTetra;
class CDeferredSignals;
class CSoundFile;

// Streams the inputs through the processors into the output, block by block, with reading, each
// processor and writing on threads of their own, so that a machine's cores share the work.
// Memory is a few blocks whatever the length. The processors' delay is compensated: the first
// `latency` output frames are dropped and as many zero frames are fed after the input, so the
// output has the input's length and alignment. An input that ends before the frames its header
// announced (without a read error) ends the input there: what came is converted, and the
// converter tells where.
class CConverter {
public:
    struct CSettings {
        bool clipping = false; // an integer output: count the samples beyond full scale
        long block = 4096;
        bool progress = false;
    };

    // The processors run in series, each on its own thread: the plug-in's chain split into
    // consecutive parts gives the same samples as the whole chain in one.
    CConverter(CSoundFile* inputs, int inputCount, const std::vector<AXeTetra*>& processors,
               CSoundFile& output, const CSettings& settings);

    // Converts everything; false after reporting a read or write failure or an interruption.
    bool run(const CDeferredSignals& signals);

    long long frames() const { return written; }
    // Peak magnitude of each output channel, in output order.
    float peak(int channel) const { return peaks[channel]; }
    long long clippedSamples() const { return clipped; }
    // The first input that ended early, the frames it gave and the frames announced; empty when
    // every input gave what it announced.
    const std::string& endedEarly() const { return earlyFile; }
    long long endedEarlyAt() const { return earlyAt; }
    long long announcedFrames() const { return total; }
    // libsndfile's word on why it stopped, if it gave one.
    const std::string& endedEarlyReason() const { return earlyReason; }

private:
    struct CBlock {
        // Capsules in, the processor's outputs out, processed in place; every frame fed is written
        // first, so the memory is left uninitialised.
        std::unique_ptr<float[]> samples[4];
        long frames = 0; // fed to the processor
        long skip = 0;   // leading frames of delay, not written
    };

    void readBlocks();
    void processBlocks(size_t stage);
    void writeBlocks();
    bool fill(CBlock& block);
    bool write(const CBlock& block);
    void abortAll();

    CSoundFile* inputs;
    int inputCount;
    std::vector<AXeTetra*> processors;
    CSoundFile& output;
    CSettings settings;
    long long total;
    long latency;

    std::vector<CBlock> blocks;
    // Queue k feeds processor k; the last one feeds the writer; `empty` feeds the reader.
    CBlockQueue empty;
    std::vector<std::unique_ptr<CBlockQueue>> queues;
    const CDeferredSignals* signals = nullptr;
    bool interrupted = false; // by the writer, which watches for signals

    // Reader state.
    long long inputEnd = 0; // total, or where an input ended early
    std::string earlyFile, earlyReason;
    long long earlyAt = 0;
    long long fed = 0;
    long skipLeft = 0;
    std::unique_ptr<float[]> readBuffer;
    std::string readFailure, readFailedFile;
    // Writer state.
    long long written = 0;
    float peaks[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    long long clipped = 0;
    std::unique_ptr<float[]> writeBuffer;
    std::string writeFailure;
};
