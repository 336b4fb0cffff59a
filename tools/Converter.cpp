#include "tools/Converter.h"

#include "core/XeTetra.h"
#include "tools/CommandLine.h"
#include "tools/DeferredSignals.h"
#include "tools/ProgressBar.h"
#include "tools/SoundFile.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {
// Enough blocks in flight for each stage to have one to work on while the next waits.
constexpr int kBlocksInFlight = 6;
} // namespace

CConverter::CConverter(CSoundFile* inputFiles, int count, const std::vector<AXeTetra*>& chain,
                       CSoundFile& outputFile, const CSettings& chosen)
    : inputs(inputFiles), inputCount(count), processors(chain), output(outputFile),
      settings(chosen), total(inputFiles[0].info().frames), latency(0), blocks(kBlocksInFlight) {
    // Inputs of different lengths arrive only when the shorter ones end early.
    for (int f = 1; f < count; ++f)
        total = std::min(total, static_cast<long long>(inputFiles[f].info().frames));
    inputEnd = total;
    for (AXeTetra* processor : processors)
        latency += processor->GetPostMatrixLatency();
    for (size_t k = 0; k <= processors.size(); ++k)
        queues.push_back(std::make_unique<CBlockQueue>());
    const size_t size = static_cast<size_t>(settings.block);
    for (CBlock& block : blocks)
        for (std::unique_ptr<float[]>& channel : block.samples)
            channel.reset(new float[size]);
    readBuffer.reset(new float[size * 4]);
    writeBuffer.reset(new float[size * 4]);
    skipLeft = latency;
}

void CConverter::abortAll() {
    empty.abort();
    for (auto& queue : queues)
        queue->abort();
}

bool CConverter::fill(CBlock& block) {
    // The input, then zeros until the delayed tail has come out.
    const long long wanted = inputEnd + latency - fed;
    block.frames = static_cast<long>(wanted < settings.block ? wanted : settings.block);
    const long long left = inputEnd - fed;
    const long fromFile = static_cast<long>(left <= 0             ? 0
                                            : left < block.frames ? left
                                                                  : block.frames);
    long present = fromFile;
    int capsule = 0;
    for (int f = 0; f < inputCount && fromFile > 0; ++f) {
        const int channels = inputs[f].info().channels;
        sf_count_t got =
            sf_readf_float(inputs[f].handle(), readBuffer.get(), static_cast<sf_count_t>(fromFile));
        if (got < 0) got = 0;
        if (got != fromFile) {
            if (inputs[f].systemFailure()) {
                readFailedFile = inputs[f].path();
                readFailure = "read failed after " + std::to_string(fed + got) +
                              " frames: " + inputs[f].error();
                return false;
            }
            // The file ends before its header said: what came is converted.
            if (earlyFile.empty()) {
                earlyFile = inputs[f].path();
                earlyAt = fed + got;
                if (sf_error(inputs[f].handle()) != SF_ERR_NO_ERROR)
                    earlyReason = inputs[f].error();
            }
            present = std::min(present, static_cast<long>(got));
        }
        for (int ch = 0; ch < channels; ++ch, ++capsule) {
            float* to = block.samples[capsule].get();
            const float* from = readBuffer.get() + ch;
            for (long i = 0; i < got; ++i)
                to[i] = from[i * channels];
        }
    }
    if (present < fromFile) {
        inputEnd = fed + present;
        const long long rest = inputEnd + latency - fed;
        block.frames = static_cast<long>(rest < settings.block ? rest : settings.block);
    }
    for (std::unique_ptr<float[]>& channel : block.samples)
        std::fill(channel.get() + present, channel.get() + block.frames, 0.0f);
    block.skip = skipLeft < block.frames ? skipLeft : block.frames;
    skipLeft -= block.skip;
    fed += block.frames;
    return true;
}

void CConverter::readBlocks() {
    while (fed < inputEnd + latency) {
        const int index = empty.pop();
        if (index < 0) return;
        if (!fill(blocks[static_cast<size_t>(index)])) {
            abortAll();
            return;
        }
        queues.front()->push(index);
    }
    queues.front()->finish();
}

bool CConverter::write(const CBlock& block) {
    const long count = block.frames - block.skip;
    if (count <= 0) return true;
    float* out = writeBuffer.get();
    for (int k = 0; k < 4; ++k) {
        const float* from = block.samples[k].get() + block.skip;
        float peak = peaks[k];
        long long beyond = 0;
        for (long i = 0; i < count; ++i) {
            const float value = from[i];
            const float magnitude = std::fabs(value);
            peak = magnitude > peak ? magnitude : peak;
            beyond += magnitude > 1.0f ? 1 : 0;
            out[i * 4 + k] = value;
        }
        peaks[k] = peak;
        if (settings.clipping) clipped += beyond;
    }
    if (sf_writef_float(output.handle(), out, count) != count) {
        writeFailure = "write failed: " + output.error();
        return false;
    }
    written += count;
    return true;
}

void CConverter::writeBlocks() {
    CProgressBar progress(settings.progress);
    const double rate = inputs[0].info().samplerate;
    for (;;) {
        const int index = queues.back()->pop();
        if (index < 0) break;
        if (!write(blocks[static_cast<size_t>(index)])) {
            abortAll();
            break;
        }
        empty.push(index);
        progress.update(written, total, rate);
        if (signals->pending()) {
            interrupted = true;
            abortAll();
        }
    }
    progress.finish();
}

void CConverter::processBlocks(size_t stage) {
    AXeTetra& processor = *processors[stage];
    for (;;) {
        const int index = queues[stage]->pop();
        if (index < 0) break;
        CBlock& block = blocks[static_cast<size_t>(index)];
        float* channels[4];
        for (int k = 0; k < 4; ++k)
            channels[k] = block.samples[k].get();
        processor.processReplacing(channels, channels, static_cast<VstInt32>(block.frames));
        queues[stage + 1]->push(index);
    }
    queues[stage + 1]->finish();
}

bool CConverter::run(const CDeferredSignals& deferred) {
    signals = &deferred;
    for (int index = 0; index < kBlocksInFlight; ++index)
        empty.push(index);
    std::vector<std::thread> threads;
    threads.emplace_back(&CConverter::readBlocks, this);
    for (size_t stage = 0; stage < processors.size(); ++stage)
        threads.emplace_back(&CConverter::processBlocks, this, stage);
    threads.emplace_back(&CConverter::writeBlocks, this);
    for (std::thread& thread : threads)
        thread.join();
    if (!readFailure.empty()) {
        fileError(readFailedFile, readFailure);
        return false;
    }
    if (!writeFailure.empty()) {
        fileError(output.path(), writeFailure);
        return false;
    }
    if (interrupted) {
        fileError(output.path(), "interrupted; nothing written");
        return false;
    }
    return true;
}
