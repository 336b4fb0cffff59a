#pragma once

// Up to three equaliser bands (CMitRegFilter sections) in series on each of four channels, then an
// output gain: the capsule equalisers and the post-matrix equaliser sets, with the arithmetic of
// CMitRegFilter and CParaEQ2Band/3Band per channel. Samples are interleaved, four to a frame.
struct CQuadEQDesign {
    static constexpr int kMaxBands = 3;

    struct Band {
        double b0[4], b1[4], a1[4], a2[4], halfV[4];
    };

    // A band that returns its input exactly, from a cleared state.
    static void setIdentity(Band& band, int channel);

    int numBands; // 1 to kMaxBands
    Band bands[kMaxBands];
    bool useOutputGain; // false: no gain stage at all
    float outputGain[4];
};

class CQuadEQ {
public:
    // The bands' memory: the allpass state values of each band and channel.
    struct Memory {
        double s1[CQuadEQDesign::kMaxBands][4];
        double s2[CQuadEQDesign::kMaxBands][4];
    };

    // `wide`: use the AVX2 kernel where the processor has it.
    explicit CQuadEQ(bool wide = true);

    void clear();
    void run(const CQuadEQDesign& design, float* frames, long n);
    bool usesWideVectors() const { return wide; }
    // As CMitRegFilter does after a block, per band and channel; for frames that went through the
    // memory by other means (a pass of several stages).
    void finish(float* frames, long n);
    Memory& memory() { return state; }

private:
    bool wide;
    Memory state;
};
