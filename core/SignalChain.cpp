#include "core/SignalChain.h"

#include "dsp/QuadCapsuleStages.h"

#include <cmath>
#include <cstring>
#include <xmmintrin.h>

namespace {
// Four planar channels from `first` to n interleaved frames; null inputs are silence.
void gather(const float* const* in, long first, float* frames, long n) {
    if (in == nullptr) {
        std::memset(frames, 0, sizeof(float) * 4 * static_cast<size_t>(n));
        return;
    }
    const float* c0 = in[0] + first;
    const float* c1 = in[1] + first;
    const float* c2 = in[2] + first;
    const float* c3 = in[3] + first;
    long i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 r0 = _mm_loadu_ps(c0 + i), r1 = _mm_loadu_ps(c1 + i);
        __m128 r2 = _mm_loadu_ps(c2 + i), r3 = _mm_loadu_ps(c3 + i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(frames + 4 * i, r0);
        _mm_storeu_ps(frames + 4 * i + 4, r1);
        _mm_storeu_ps(frames + 4 * i + 8, r2);
        _mm_storeu_ps(frames + 4 * i + 12, r3);
    }
    for (; i < n; ++i) {
        frames[4 * i] = c0[i];
        frames[4 * i + 1] = c1[i];
        frames[4 * i + 2] = c2[i];
        frames[4 * i + 3] = c3[i];
    }
}

// Zero where a sample is NaN or infinite: x - x is 0 only for finite x.
inline __m128 finiteOrZero(__m128 v) {
    return _mm_and_ps(v, _mm_cmpeq_ps(_mm_sub_ps(v, v), _mm_setzero_ps()));
}

// n interleaved frames to four planar channels from `first`; the host never receives a
// non-finite sample (extreme gains can overflow to infinity).
// Four channels to four others (which may be the same buffers, in any order), non-finite
// samples made 0.
void copyChannels(const float* const* in, float* const* out, long n) {
    long i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = finiteOrZero(_mm_loadu_ps(in[k] + i));
        for (int k = 0; k < 4; ++k)
            _mm_storeu_ps(out[k] + i, v[k]);
    }
    for (; i < n; ++i) {
        float v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = std::isfinite(in[k][i]) ? in[k][i] : 0.0f;
        for (int k = 0; k < 4; ++k)
            out[k][i] = v[k];
    }
}

void scatter(const float* frames, float* const* out, long first, long n) {
    float* c0 = out[0] + first;
    float* c1 = out[1] + first;
    float* c2 = out[2] + first;
    float* c3 = out[3] + first;
    long i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 r0 = finiteOrZero(_mm_loadu_ps(frames + 4 * i));
        __m128 r1 = finiteOrZero(_mm_loadu_ps(frames + 4 * i + 4));
        __m128 r2 = finiteOrZero(_mm_loadu_ps(frames + 4 * i + 8));
        __m128 r3 = finiteOrZero(_mm_loadu_ps(frames + 4 * i + 12));
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(c0 + i, r0);
        _mm_storeu_ps(c1 + i, r1);
        _mm_storeu_ps(c2 + i, r2);
        _mm_storeu_ps(c3 + i, r3);
    }
    for (; i < n; ++i) {
        float* channels[4] = {c0, c1, c2, c3};
        for (int k = 0; k < 4; ++k) {
            const float v = frames[4 * i + k];
            channels[k][i] = std::isfinite(v) ? v : 0.0f;
        }
    }
}
} // namespace

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
    : exchange(exchange), restartPending(true), current(nullptr), previous(nullptr), fading(false),
      fadeLF(false), fadeEQ(false), fadeMatrix(false), fadeSet(false), fadeOutput(false),
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

void CSignalChain::adopt(const CEngineSettings* next, bool restart) {
    if (next == nullptr) return;
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

template <typename Stage>
void CSignalChain::runStage(bool fade, float* x, long n, const Stage& stage) {
    if (!fade) {
        stage(*current, x, false);
        return;
    }
    std::memcpy(faded, x, sizeof(float) * 4 * static_cast<size_t>(n));
    stage(*previous, x, false);
    stage(*current, faded, true);
    mix(x, faded, n);
}

void CSignalChain::runChain(float* x, long n) {
    const CEngineSettings& now = *current;
    if (!fadeLF && !fadeEQ && !fadeMatrix) {
        runCapsuleStages(now.lfOn ? &lf[lfLive] : nullptr, now.lf, now.eqOn ? &eq[eqLive] : nullptr,
                         now.eq, now.matrixOn ? &now.matrix : nullptr, x, n);
    } else {
        runStage(fadeLF, x, n, [&](const CEngineSettings& s, float* f, bool fresh) {
            if (s.lfOn) lf[fresh ? 1 - lfLive : lfLive].run(s.lf, f, n);
        });
        runStage(fadeEQ, x, n, [&](const CEngineSettings& s, float* f, bool fresh) {
            if (s.eqOn) eq[fresh ? 1 - eqLive : eqLive].run(s.eq, f, n);
        });
        runStage(fadeMatrix, x, n, [n](const CEngineSettings& s, float* f, bool) {
            if (s.matrixOn) CABMatrix::processFrames(s.matrix, f, n);
        });
    }
    runStage(fadeSet, x, n, [this, n](const CEngineSettings& s, float* f, bool) {
        runSet(s.set, s.setDesign, f, n);
    });
    runStage(fadeOutput, x, n,
             [n](const CEngineSettings& s, float* f, bool) { s.output.apply(f, n); });
}

bool CSignalChain::onlyTheMatrix(const CEngineSettings& s) {
    return !s.lfOn && !s.eqOn && (s.set <= 0 || s.setDesign == nullptr) && s.output.isIdentity();
}

void CSignalChain::process(const float* const* inputs, float* const* outputs, long n) {
    const bool haveInputs = inputs != nullptr && inputs[0] != nullptr && inputs[1] != nullptr &&
                            inputs[2] != nullptr && inputs[3] != nullptr;
    // Only the first block after construction or resume sets up without a fade.
    bool restart = restartPending.load(std::memory_order_relaxed) &&
                   restartPending.exchange(false, std::memory_order_acq_rel);
    long done = 0;
    do {
        if (!fading) adopt(exchange.take(), restart);
        restart = false;
        if (!fading && haveInputs && current != nullptr && onlyTheMatrix(*current)) {
            // Nothing recursive runs: the rest of the block goes straight from the inputs to the
            // outputs, many frames to a vector.
            const float* in[4];
            float* out[4];
            for (int k = 0; k < 4; ++k) {
                in[k] = inputs[k] + done;
                out[k] = outputs[k] + done;
            }
            if (current->matrixOn)
                CABMatrix::processChannels(current->matrix, in, out, n - done, true);
            else
                copyChannels(in, out, n - done);
            break;
        }
        long m = n - done;
        if (m > kChunk) m = kChunk;
        if (fading && m > fadeLength - fadePosition) m = fadeLength - fadePosition;

        // All four inputs are read before any output is written: a host may hand the same
        // buffer as input of one channel and output of another.
        float* const x = frames;
        gather(haveInputs ? inputs : nullptr, done, x, m);
        if (current != nullptr) runChain(x, m);
        scatter(x, outputs, done, m);

        if (fading) {
            fadePosition += m;
            if (fadePosition >= fadeLength) endFade();
        }
        done += m;
    } while (done < n);
}
