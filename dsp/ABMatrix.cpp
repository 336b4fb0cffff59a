#include "dsp/MatrixKernel.h"

#include "dsp/CpuFeatures.h"

#include <cmath>
#include <emmintrin.h>

float db2level(float dB) {
    return static_cast<float>(std::exp(static_cast<double>(dB) / 20.0 * 2.302585092994));
}

float level2db(float level) {
    return static_cast<float>(std::log(static_cast<double>(level)) * 20.0 / 2.302585092994);
}

float limitedDb2level(float dB) {
    if (std::isnan(dB)) return 1.0f;
    return db2level(dB > kMaxGainDb ? kMaxGainDb : dB);
}

CABMatrix::CABMatrix() {
    for (int o = 0; o < 4; ++o) {
        for (int c = 0; c < 4; ++c)
            gainTable[o][c] = 0.0f;
        outputGains[o] = 0.0f;
    }
}

CABMatrix::~CABMatrix() = default;

void CABMatrix::setGains0(float g1, float g2, float g3, float g4) {
    gainTable[0][0] = g1;
    gainTable[0][1] = g2;
    gainTable[0][2] = g3;
    gainTable[0][3] = g4;
}

void CABMatrix::setGains1(float g1, float g2, float g3, float g4) {
    for (int o = 1; o < 4; ++o) {
        gainTable[o][0] = g1;
        gainTable[o][1] = g2;
        gainTable[o][2] = g3;
        gainTable[o][3] = g4;
    }
}

void CABMatrix::setGains4x4(float (*gains)[4]) {
    for (int o = 0; o < 4; ++o)
        for (int c = 0; c < 4; ++c)
            gainTable[o][c] = gains[c][o];
}

void CABMatrix::setOutGains(float w, float x, float y, float z) {
    outputGains[0] = w;
    outputGains[1] = x;
    outputGains[2] = y;
    outputGains[3] = z;
}

CMatrixFactors CABMatrix::getFactors() const {
    CMatrixFactors f;
    for (int row = 0; row < 4; ++row) {
        for (int capsule = 0; capsule < 4; ++capsule)
            f.g[row][capsule] = limitedDb2level(gainTable[row][capsule]);
        f.o[row] = limitedDb2level(outputGains[row]);
    }
    return f;
}

namespace {
// One frame: W = (sum of the capsules) / sqrt(2), X = front minus back, Y = left minus right,
// Z = up minus down, each times its output gain.
struct Frame {
    float w, x, y, z;
};
inline Frame convert(const CMatrixFactors& f, float s1, float s2, float s3, float s4) {
    const auto& g = f.g;
    const double sqrt2 = 1.4142135623730951;
    const float wSum = ((g[0][0] * s1 + g[0][1] * s2) + g[0][2] * s3) + g[0][3] * s4;
    return Frame{
        static_cast<float>(static_cast<double>(wSum) / sqrt2) * f.o[0],
        f.o[1] * (((g[1][0] * s1 + g[1][1] * s2) - g[1][2] * s3) - g[1][3] * s4),
        f.o[2] * (((g[2][0] * s1 - g[2][1] * s2) + g[2][2] * s3) - g[2][3] * s4),
        f.o[3] * (((g[3][0] * s1 - g[3][1] * s2) - g[3][2] * s3) + g[3][3] * s4),
    };
}
} // namespace

void CABMatrix::process(float* a, float* b, float* c, float* d, long n) {
    const CMatrixFactors f = getFactors();
    for (long i = 0; i < n; ++i) {
        const Frame out = convert(f, a[i], b[i], c[i], d[i]);
        a[i] = out.w;
        b[i] = out.x;
        c[i] = out.y;
        d[i] = out.z;
    }
}

void CABMatrix::processFrames(const CMatrixFactors& f, float* frames, long n) {
    const MatrixRegs regs(f);
    for (long i = 0; i < n; ++i)
        _mm_storeu_ps(frames + 4 * i, regs.step(_mm_loadu_ps(frames + 4 * i)));
}

// Defined in QuadKernelsWide.cpp, compiled for AVX2: the frames up to a multiple of 8; answers
// how many it did.
long abMatrixChannelsWide(const CMatrixFactors& factors, const float* const* in, float* const* out,
                          long n);

void CABMatrix::processChannels(const CMatrixFactors& f, const float* const* in, float* const* out,
                                long n, bool wide) {
    long i = wide && cpuHasWideVectors() ? abMatrixChannelsWide(f, in, out, n) : 0;
    // Each frame's four inputs are read before any of its outputs is written.
    for (; i < n; ++i) {
        const Frame r = convert(f, in[0][i], in[1][i], in[2][i], in[3][i]);
        const float values[4] = {r.w, r.x, r.y, r.z};
        for (int k = 0; k < 4; ++k)
            out[k][i] = std::isfinite(values[k]) ? values[k] : 0.0f;
    }
}
