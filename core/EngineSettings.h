#pragma once

#include "dsp/ABMatrix.h"
#include "dsp/QuadConvolver.h"
#include "dsp/QuadEQ.h"
#include "dsp/QuadIIR.h"
#include "dsp/QuadLF.h"

#include <cstdint>
#include <memory>

// What one post-matrix set does at one sample rate, as the four-channel kernels run it: channels
// with a convolution filter, channels with a recursive filter and channels with equaliser bands
// (a set may mix them; each channel takes part in one kind at most). Built by the control side,
// never changed once handed over.
struct CPostSetDesign {
    int set = 0;
    float rate = 0.0f;
    std::unique_ptr<CQuadConvolverDesign> convolver;
    std::unique_ptr<CQuadIIRDesign> iir;
    std::unique_ptr<CQuadEQDesign> equaliser;
};

// How the chain's W, X, Y, Z become the output channels: output k is channel source[k] times
// gain[k] (the turn of a microphone mounted otherwise than upright, flipped axes, another channel
// order and weighting).
struct COutputMap {
    int source[4] = {0, 1, 2, 3};
    float gain[4] = {1.0f, 1.0f, 1.0f, 1.0f};

    bool isIdentity() const {
        for (int k = 0; k < 4; ++k)
            if (source[k] != k || gain[k] != 1.0f) return false;
        return true;
    }
    // Maps n interleaved frames in place.
    void apply(float* frames, long n) const;
};

// Everything the audio thread needs for one configuration of the chain, designed whole on the
// control side and handed over as one piece (CSettingsExchange).
struct CEngineSettings {
    uint64_t generation = 0; // 0: never handed over

    float rate = 44100.0f;
    // Raised with every sample-rate change: the chain clears its memory and switches at once.
    uint32_t rateEpoch = 0;

    // One stamp per stage, raised whenever what the stage does changes; a stage whose stamp
    // differs from the running settings' is crossfaded to the new settings.
    uint32_t lfStamp = 0;
    uint32_t eqStamp = 0;
    uint32_t matrixStamp = 0;
    uint32_t setStamp = 0;
    uint32_t outputStamp = 0;

    bool lfOn = false;
    bool eqOn = false;
    bool matrixOn = true;
    CQuadLFDesign lf{};
    CQuadEQDesign eq{};
    CMatrixFactors matrix{};
    int set = 0;                               // the post-matrix set; 0 never runs
    const CPostSetDesign* setDesign = nullptr; // null for set 0
    COutputMap output;
};
