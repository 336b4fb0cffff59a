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

    int numBands;       // 1 to kMaxBands
    Band bands[kMaxBands];
    bool useOutputGain; // false: no gain stage at all
    float outputGain[4];
};

class CQuadEQ {
public:
    // `wide`: use the AVX2 kernel where the processor has it.
    explicit CQuadEQ(bool wide = true);

    void clear();
    void run(const CQuadEQDesign& design, float* frames, long n);
    bool usesWideVectors() const { return wide; }

private:
    // As CMitRegFilter does after a block, per band and channel.
    void finish(float* frames, long n);

    bool wide;

    double s1[CQuadEQDesign::kMaxBands][4];
    double s2[CQuadEQDesign::kMaxBands][4];
};
