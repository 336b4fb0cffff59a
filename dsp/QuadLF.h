#pragma once

// The capsule low-frequency filters of four channels run side by side: per channel the low shelf
// and the two second-order high-passes of CLFFilter, in series, with the arithmetic of the
// single-channel sections. Samples are interleaved, four to a frame.
struct CQuadLFDesign {
    // Shelf b0, b1, a1; each high-pass b0, b1, b2, a1, a2; the index after the coefficient is
    // the channel.
    float shelf[3][4];
    float highPass1[5][4];
    float highPass2[5][4];
};

class CQuadLF {
public:
    struct Section {
        float x1[4], x2[4], y1[4], y2[4];
    };
    // The filters' memory: the last inputs and outputs of each section and channel.
    struct Memory {
        Section shelf;
        Section highPass1;
        Section highPass2;
    };

    CQuadLF() { clear(); }

    void clear();
    // Filters n frames in place.
    void run(const CQuadLFDesign& design, float* frames, long n);
    // After the frames went through the memory by other means (a pass of several stages): a
    // non-finite memory of a channel is reset, and that channel's non-finite samples of the
    // block become 0; a vanishing one is flushed to 0.
    void finish(float* frames, long n);
    Memory& memory() { return state; }

private:
    static void finish(Section& section, bool secondOrder, float* frames, long n);

    Memory state;
};
