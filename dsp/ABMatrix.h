#pragma once

// Decibels to a linear factor and back, in the arithmetic every block of the system shares.
float db2level(float dB);
float level2db(float level);

// db2level with the gain limited at +120 dB (NaN counts as 0 dB), for gains used in arithmetic:
// a host's extrapolated parameter can ask for any gain, db2level of a huge one is infinite, and
// anything beyond +120 dB only turns a real signal into overflow.
constexpr float kMaxGainDb = 120.0f;
float limitedDb2level(float dB);

// The linear factors one block of the matrix multiplies with: g[output][capsule] without the
// fixed signs of the conversion, and the output gains.
struct CMatrixFactors {
    float g[4][4];
    float o[4];
};

// The A-to-B matrix: four capsule signals in, W, X, Y, Z out, in place. Every coefficient is a
// gain in dB; the signs of the conversion are fixed and W carries an extra 1/sqrt(2).
class CABMatrix {
public:
    CABMatrix();
    virtual ~CABMatrix();

    // Row W of the gain table, capsules 1 to 4.
    void setGains0(float g1, float g2, float g3, float g4);
    // Rows X, Y and Z of the gain table, all to the same capsule gains.
    void setGains1(float g1, float g2, float g3, float g4);
    // The whole table from gains[capsule][output]; stored transposed.
    void setGains4x4(float (*gains)[4]);
    void setOutGains(float w, float x, float y, float z);
    void process(float* a, float* b, float* c, float* d, long n);
    // The factors process() derives from the decibel table.
    CMatrixFactors getFactors() const;
    // process() on interleaved frames (capsules 1 to 4 in, W, X, Y, Z out), same arithmetic.
    static void processFrames(const CMatrixFactors& factors, float* frames, long n);
    // process() from four channels into four others (they may be the same buffers, in any
    // order), same results, except that a NaN or infinite result becomes 0. `wide`: with the AVX2
    // kernel where the processor has it.
    static void processChannels(const CMatrixFactors& factors, const float* const* in,
                                float* const* out, long n, bool wide);

    float getGain(int output, int capsule) const { return gainTable[output][capsule]; }
    float getOutGain(int output) const { return outputGains[output]; }

private:
    float gainTable[4][4]; // [output W X Y Z][capsule 1..4], dB
    float outputGains[4];  // W, X, Y, Z, dB
};
