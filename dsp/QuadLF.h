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
    CQuadLF() { clear(); }

    void clear();
    // Filters n frames in place.
    void run(const CQuadLFDesign& design, float* frames, long n);

private:
    struct Section {
        float x1[4], x2[4], y1[4], y2[4];
    };
    // A non-finite state of a channel is reset, and that channel's non-finite samples of the
    // block become 0; a vanishing one is flushed to 0.
    static void finish(Section& section, bool secondOrder, float* frames, long n);

    Section shelf;
    Section highPass1;
    Section highPass2;
};
