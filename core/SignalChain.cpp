#include "core/SignalChain.h"

#include <cmath>
#include <cstring>

void COutputMap::apply(float* frames, long n) const {
    if (isIdentity()) return;
    for (long i = 0; i < n; ++i) {
        float* frame = frames + 4 * i;
        const float in[4] = {frame[0], frame[1], frame[2], frame[3]};
        for (int k = 0; k < 4; ++k)
            frame[k] = in[source[k] & 3] * gain[k];
    }
}

CSignalChain::CSignalChain(CSettingsExchange& exchange)
    : exchange(exchange), restartPending(true), current(nullptr), previous(nullptr),
      fading(false), fadeLF(false), fadeEQ(false), fadeMatrix(false), fadeSet(false),
      fadeOutput(false),
      fadePosition(0), fadeLength(0), lfLive(0), eqLive(0), frames{}, faded{} {}

void CSignalChain::addSetMemory(int set, bool convolver, bool iir, bool equaliser) {
    if (set < 0 || set >= kMaxSets) return;
    SetMemory& memory = sets[set];
    if (convolver && !memory.convolver) memory.convolver = std::make_unique<CQuadConvolver>();
    if (iir && !memory.iir) memory.iir = std::make_unique<CQuadIIR>();
    if (equaliser && !memory.equaliser) memory.equaliser = std::make_unique<CQuadEQ>();
}

long CSignalChain::fadeFrames(float rate) {
    const double frames = std::floor(static_cast<double>(rate) * 0.004);
    if (!(frames >= 32.0)) return 32;
    return frames > 2048.0 ? 2048 : static_cast<long>(frames);
}

void CSignalChain::SetMemory::clear() {
    if (convolver) convolver->clear();
    if (iir) iir->clear();
    if (equaliser) equaliser->clear();
}

void CSignalChain::SetMemory::run(const CPostSetDesign& design, float* frames, long n) {
    if (design.convolver && convolver) convolver->run(*design.convolver, frames, n);
    if (design.iir && iir) iir->run(*design.iir, frames, n);
    if (design.equaliser && equaliser) equaliser->run(*design.equaliser, frames, n);
}

void CSignalChain::adopt(const CEngineSettings* next) {
    if (next == nullptr) return;
    const bool restart = restartPending.exchange(false, std::memory_order_acq_rel);
    if (current == nullptr || next->rateEpoch != current->rateEpoch) {
        // A new rate (or the very first settings): every memory starts empty.
        lf[lfLive].clear();
        eq[eqLive].clear();
        if (next->set > 0 && next->set < kMaxSets) sets[next->set].clear();
    } else if (restart) {
        // Set up before the host plays: exactly the new settings, from empty memory where
        // they changed, and the memory of the stages that stayed as it was.
        if (next->lfStamp != current->lfStamp) lf[lfLive].clear();
        if (next->eqStamp != current->eqStamp) eq[eqLive].clear();
        if (next->setStamp != current->setStamp && next->set > 0 && next->set < kMaxSets)
            sets[next->set].clear();
    } else {
        fadeLF = next->lfStamp != current->lfStamp;
        fadeEQ = next->eqStamp != current->eqStamp;
        fadeMatrix = next->matrixStamp != current->matrixStamp;
        fadeSet = next->setStamp != current->setStamp;
        fadeOutput = next->outputStamp != current->outputStamp;
        if (fadeLF || fadeEQ || fadeMatrix || fadeSet || fadeOutput) {
            if (fadeLF) lf[1 - lfLive].clear();
            if (fadeEQ) eq[1 - eqLive].clear();
            if (fadeSet && next->set > 0 && next->set < kMaxSets) sets[next->set].clear();
            fading = true;
            fadePosition = 0;
            fadeLength = fadeFrames(next->rate);
            previous = current;
            current = next;
            exchange.hold(current, previous);
            return;
        }
    }
    current = next;
    previous = next;
    exchange.hold(current, previous);
}

void CSignalChain::endFade() {
    if (fadeLF) lfLive = 1 - lfLive;
    if (fadeEQ) eqLive = 1 - eqLive;
    fading = false;
    fadeLF = fadeEQ = fadeMatrix = fadeSet = fadeOutput = false;
    previous = current;
    exchange.hold(current, previous);
}

void CSignalChain::mix(float* x, const float* y, long n) const {
    // From the old output to the new, linearly; at the last frame of the fade t is 1.
    const float step = 1.0f / static_cast<float>(fadeLength);
    for (long i = 0; i < n; ++i) {
        const float t = static_cast<float>(fadePosition + i + 1) * step;
        const float keep = 1.0f - t;
        for (int k = 0; k < 4; ++k)
            x[4 * i + k] = keep * x[4 * i + k] + t * y[4 * i + k];
    }
}

void CSignalChain::runSet(int set, const CPostSetDesign* design, float* x, long n) {
    if (set <= 0 || set >= kMaxSets || design == nullptr) return;
    sets[set].run(*design, x, n);
}

void CSignalChain::runChain(float* x, long n) {
    const CEngineSettings& now = *current;
    const CEngineSettings& before = *previous;
    float* const y = faded;
    const size_t bytes = sizeof(float) * 4 * static_cast<size_t>(n);

    if (!fadeLF) {
        if (now.lfOn) lf[lfLive].run(now.lf, x, n);
    } else {
        std::memcpy(y, x, bytes);
        if (before.lfOn) lf[lfLive].run(before.lf, x, n);
        if (now.lfOn) lf[1 - lfLive].run(now.lf, y, n);
        mix(x, y, n);
    }

    if (!fadeEQ) {
        if (now.eqOn) eq[eqLive].run(now.eq, x, n);
    } else {
        std::memcpy(y, x, bytes);
        if (before.eqOn) eq[eqLive].run(before.eq, x, n);
        if (now.eqOn) eq[1 - eqLive].run(now.eq, y, n);
        mix(x, y, n);
    }

    if (!fadeMatrix) {
        if (now.matrixOn) CABMatrix::processFrames(now.matrix, x, n);
    } else {
        std::memcpy(y, x, bytes);
        if (before.matrixOn) CABMatrix::processFrames(before.matrix, x, n);
        if (now.matrixOn) CABMatrix::processFrames(now.matrix, y, n);
        mix(x, y, n);
    }

    if (!fadeSet) {
        runSet(now.set, now.setDesign, x, n);
    } else {
        std::memcpy(y, x, bytes);
        runSet(before.set, before.setDesign, x, n);
        runSet(now.set, now.setDesign, y, n);
        mix(x, y, n);
    }

    if (!fadeOutput) {
        now.output.apply(x, n);
    } else {
        std::memcpy(y, x, bytes);
        before.output.apply(x, n);
        now.output.apply(y, n);
        mix(x, y, n);
    }
}

void CSignalChain::process(const float* const* inputs, float* const* outputs, long n) {
    const bool haveInputs = inputs != nullptr && inputs[0] != nullptr && inputs[1] != nullptr &&
                            inputs[2] != nullptr && inputs[3] != nullptr;
    long done = 0;
    do {
        if (!fading) adopt(exchange.take());
        long m = n - done;
        if (m > kChunk) m = kChunk;
        if (fading && m > fadeLength - fadePosition) m = fadeLength - fadePosition;

        // All four inputs are read before any output is written: a host may hand the same
        // buffer as input of one channel and output of another.
        float* const x = frames;
        for (long i = 0; i < m; ++i)
            for (int k = 0; k < 4; ++k)
                x[4 * i + k] = haveInputs ? inputs[k][done + i] : 0.0f;
        if (current != nullptr) runChain(x, m);
        // Extreme gains can overflow to infinity; the host never receives a non-finite sample.
        for (long i = 0; i < m; ++i)
            for (int k = 0; k < 4; ++k) {
                const float v = x[4 * i + k];
                outputs[k][done + i] = std::isfinite(v) ? v : 0.0f;
            }

        if (fading) {
            fadePosition += m;
            if (fadePosition >= fadeLength) endFade();
        }
        done += m;
    } while (done < n);
}
