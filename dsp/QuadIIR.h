#pragma once

#include <vector>

// Recursive filters of any order up to the history length (CIIRFilter's direct form I) on four
// channels side by side, each channel with its own coefficients. A channel the design leaves
// inactive keeps its samples. Samples are interleaved, four to a frame.
struct CQuadIIRDesign {
    static constexpr int kHistoryLength = 1024;

    CQuadIIRDesign();
    // Gives channel k the coefficients b0 .. b(nB - 1) and a1 .. a(nA); both counts at most
    // kHistoryLength. Channels with fewer coefficients than another are padded with zeros.
    void setChannel(int k, const float* b, int nB, const float* a, int nA);

    bool active[4];
    int numA[4], numB[4];
    int maxA, maxB;
    std::vector<float> a; // a(j + 1) of channel k at 4 j + k
    std::vector<float> b; // b(j) of channel k at 4 j + k
};

class CQuadIIR {
public:
    CQuadIIR() { clear(); }

    void clear();
    void run(const CQuadIIRDesign& design, float* frames, long n);

private:
    void finish(const CQuadIIRDesign& design, float* frames, long n);

    float inputHistory[CQuadIIRDesign::kHistoryLength][4];
    float outputHistory[CQuadIIRDesign::kHistoryLength][4];
    int historyIndex;
};
