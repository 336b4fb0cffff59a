// The matrix and the decibel conversions; then the four-channel kernels against the
// single-channel filters they stand for, on every path the processor may take (the one for any
// x86-64 processor and, where this one has it, the AVX2 one): the recursive ones bit for bit, the
// convolution within 1e-9 of full scale.

#include "FilterTestSupport.h"

#include "dsp/ABMatrix.h"
#include "dsp/CoincidenceFilter.h"
#include "dsp/CpuFeatures.h"
#include "dsp/LFFilter.h"
#include "dsp/MitRegFilter.h"
#include "dsp/ParaEQ3Band.h"
#include "dsp/QuadCapsuleStages.h"
#include "dsp/QuadConvolver.h"
#include "dsp/QuadEQ.h"
#include "dsp/QuadIIR.h"
#include "dsp/QuadLF.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <limits>

using namespace filtertest;

namespace {

using Block = std::array<std::vector<float>, 4>;

// [output W X Y Z][capsule 1 .. 4]
const int kSign[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
const float kInf = std::numeric_limits<float>::infinity();

// One sample per capsule through the matrix.
std::array<float, 4> convert(CABMatrix& m, std::array<float, 4> s) {
    m.process(&s[0], &s[1], &s[2], &s[3], 1);
    return s;
}

Block process(CABMatrix& m, Block b, long n) {
    m.process(b[0].data(), b[1].data(), b[2].data(), b[3].data(), n);
    return b;
}

Block noiseBlock(size_t n, unsigned seed) {
    return {noise(n, seed), noise(n, seed + 1), noise(n, seed + 2), noise(n, seed + 3)};
}

// Each capsule alone through the gain table: [capsule 3][output Z] at +6 dB shows the table is not
// read transposed. (Unit gains, their signs, 1/sqrt(2) on W and the output gains are measured
// through the plug-in by the integration suite.)
TEST(ABMatrix, TheGainTableIsReadByCapsuleAndOutput) {
    CABMatrix table;
    float gains[4][4] = {};
    gains[2][3] = 6.0f;
    table.setGains4x4(gains);
    for (int c = 0; c < 4; ++c) {
        std::array<float, 4> capsule{};
        capsule[c] = 1.0f;
        for (int o = 0; o < 4; ++o)
            EXPECT_EQ(convert(table, capsule)[o], kSign[o][c] * (o == 3 && c == 2 ? 1.9952623f
                                                                 : o == 0         ? 0.70710677f
                                                                                  : 1.0f));
    }
    const Block b = noiseBlock(8, 10);
    for (long n : {0L, -1L, -100000L})
        EXPECT_EQ(process(table, b, n), b) << n;
}

// Extrapolated host parameters can ask for any gain: outputs stay finite, gains stop at +120 dB,
// minus infinity silences and NaN counts as 0 dB.
TEST(ABMatrix, HugeGainsStayFinite) {
    for (float g : {200.0f, 1e30f, std::numeric_limits<float>::max(), kInf}) {
        float gains[4][4];
        for (auto& row : gains)
            for (auto& v : row)
                v = g;
        CABMatrix m;
        m.setGains4x4(gains);
        m.setOutGains(g, g, g, g);
        for (const auto& channel : process(m, noiseBlock(512, 40), 512))
            EXPECT_TRUE(allFinite(channel)) << g;
        EXPECT_FLOAT_EQ(convert(m, {0, 1e-12f, 0, 0})[1],
                        1e-12f * db2level(120.0f) * db2level(120.0f));
    }
    CABMatrix off;
    float silent[4][4] = {{level2db(0.0f), std::numeric_limits<float>::quiet_NaN()}};
    off.setGains4x4(silent);
    EXPECT_EQ(convert(off, {1.0f, 0.0f, 0.0f, 0.0f})[0], 0.0f);
    EXPECT_EQ(convert(off, {1.0f, 0.0f, 0.0f, 0.0f})[1], 1.0f);
}

using Channels = std::vector<std::vector<float>>;

// Runs a kernel over the four channels, interleaved, in blocks of uneven length; answers the
// channels again.
Channels inBlocks(const Channels& in, const std::function<void(float*, long)>& kernel) {
    static const long sizes[] = {1, 513, 64, 2047, 7, 1024};
    const long n = static_cast<long>(in[0].size());
    std::vector<float> frames(4 * in[0].size());
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = in[i % 4][i / 4];
    for (long done = 0, b = 0; done < n; ++b) {
        const long m = std::min(sizes[b % 6], n - done);
        kernel(frames.data() + 4 * done, m);
        done += m;
    }
    Channels out(4, std::vector<float>(in[0].size()));
    for (size_t i = 0; i < frames.size(); ++i)
        out[i % 4][i / 4] = frames[i];
    return out;
}

// Each lane of the kernel's output against its channel's filter run alone (none: the lane keeps
// its samples), bit for bit or, given a tolerance, within it.
void expectLanes(const Channels& in, const std::function<void(float*, long)>& kernel,
                 const std::vector<CFilter*>& reference, double tolerance = 0.0) {
    const Channels out = inBlocks(in, kernel);
    for (size_t k = 0; k < 4; ++k) {
        if (reference[k] != nullptr) reference[k]->clearBuffers();
        const std::vector<float> expected = reference[k] ? run(*reference[k], in[k]) : in[k];
        if (tolerance == 0.0) {
            EXPECT_EQ(out[k], expected) << k;
            continue;
        }
        double error = 0.0;
        for (size_t i = 0; i < expected.size(); ++i)
            error = std::max(error, std::fabs(static_cast<double>(out[k][i]) - expected[i]));
        EXPECT_LT(error, tolerance) << k;
    }
}

// Every kind of stage, each lane set up differently.
TEST(QuadKernels, EachStageIsTheChannelFiltersOfItsLanes) {
    Channels in;
    for (unsigned k = 0; k < 4; ++k)
        in.push_back(noise(9000, 1 + k, 0.5f));

    CLFFilter lf[4] = {CLFFilter(25, 150), CLFFilter(30, 50), CLFFilter(250, 20),
                       CLFFilter(20, 20)};
    CQuadLFDesign lfLanes{}; // lane k from filter k
    for (int k = 0; k < 4; ++k) {
        lf[k].setSamplingRate(44100.0f);
        for (int j = 0; j < 5; ++j) { // coefficient j of a section: its b's, then its a's
            const auto at = [j](const CIIRFilter& s, int numB) {
                return j < numB ? s.getB(j) : s.getA(j - numB);
            };
            if (j < 3) lfLanes.shelf[j][k] = at(lf[k].getShelf(), 2);
            lfLanes.highPass1[j][k] = at(lf[k].getHighPass1(), 3);
            lfLanes.highPass2[j][k] = at(lf[k].getHighPass2(), 3);
        }
    }
    CQuadLF quadLF;
    expectLanes(in, [&](float* x, long n) { quadLF.run(lfLanes, x, n); },
                {&lf[0], &lf[1], &lf[2], &lf[3]});

    // Recursions of different orders, one lane left alone.
    const std::vector<std::vector<float>> b = {
        {0.2f, 0.4f, 0.2f}, {0.3f, 0.1f}, {}, {0.5f, -0.1f, 0.05f, 0.02f}};
    const std::vector<std::vector<float>> a = {{-0.5f, 0.3f}, {-0.4f}, {}, {-0.2f, 0.1f, -0.05f}};
    CQuadIIRDesign iirLanes;
    Coefficients sets[4] = {Coefficients(b[0], a[0]), Coefficients(b[1], a[1]),
                            Coefficients(b[2], a[2]), Coefficients(b[3], a[3])};
    CIIRFilter iir[4];
    for (int k = 0; k < 4; ++k) {
        iirLanes.setChannel(k, b[k].data(), static_cast<int>(b[k].size()), a[k].data(),
                            static_cast<int>(a[k].size()));
        iir[k].setCoefficients(&sets[k]);
        iir[k].setSamplingRate(48000.0f);
    }
    CQuadIIR quadIIR;
    expectLanes(in, [&](float* x, long n) { quadIIR.run(iirLanes, x, n); },
                {&iir[0], &iir[1], &iir[2], &iir[3]});

    // The correction filters, one lane inactive.
    CCoincidenceFilter w(0, 2.3f, 1.0f), xyz(1, 2.3f, 1.0f);
    const std::vector<CFFTFilter*> convolution = {&w, &xyz, nullptr, &xyz};
    CQuadConvolverDesign convolutionLanes;
    for (int k : {0, 1, 3}) {
        convolution[k]->setSamplingRate(48000.0f);
        convolution[k]->internalSetSamplingRate(48000.0f);
        convolutionLanes.setChannel(k, convolution[k]->getResponse());
    }

    for (bool wide :
         cpuHasWideVectors() ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
        SCOPED_TRACE(wide ? "AVX2" : "any x86-64");
        // Three equaliser bands and an output gain per lane (band sections keep their memory
        // through clearBuffers: new ones for each path).
        CParaEQ3Band eq[4] = {CParaEQ3Band(80, 0.5f, 6, 1000, 0.3f, -9, 9000, 1.2f, 3, 0),
                              CParaEQ3Band(200, 0.2f, -3, 3000, 2, 12, 15000, 0.1f, -12, -1.5f),
                              CParaEQ3Band(50, 1, 1, 500, 0.7f, 2, 5000, 0.4f, 3, -3),
                              CParaEQ3Band(120, 0.9f, -1, 2500, 0.25f, 9, 12000, 0.8f, -4, -4.5f)};
        CQuadEQDesign eqLanes{};
        eqLanes.numBands = 3;
        eqLanes.useOutputGain = true;
        for (int k = 0; k < 4; ++k) {
            eq[k].setSamplingRate(48000.0f);
            for (int band = 0; band < 3; ++band) {
                const CMitRegFilter::Lane lane = eq[k].getBand(band).lane();
                CQuadEQDesign::Band& to = eqLanes.bands[band];
                to.b0[k] = lane.b0, to.b1[k] = lane.b1, to.a1[k] = lane.a1, to.a2[k] = lane.a2;
                to.halfV[k] = lane.halfV;
            }
            eqLanes.outputGain[k] = eq[k].getOutputGain();
        }
        CQuadEQ quadEQ(wide);
        expectLanes(in, [&](float* x, long n) { quadEQ.run(eqLanes, x, n); },
                    {&eq[0], &eq[1], &eq[2], &eq[3]});
        CQuadConvolver quadConvolver(wide);
        expectLanes(
            in, [&](float* x, long n) { quadConvolver.run(convolutionLanes, x, n); },
            {convolution.begin(), convolution.end()}, 1e-9);

        // The capsule stages in one pass give what they give one after another: a band per
        // capsule, as the processor runs them.
        eqLanes.numBands = 1;
        eqLanes.useOutputGain = false;
        CABMatrix matrix;
        float gains[4][4] = {{0, -3, 0, 1}, {2, 0, 0, 0}, {0, 0, -6, 0}, {0, 1, 0, 0}};
        matrix.setGains4x4(gains);
        matrix.setOutGains(-8.0f, 0.0f, 1.0f, 0.0f);
        const CMatrixFactors factors = matrix.getFactors();
        CQuadLF lfA, lfB;
        CQuadEQ eqA(wide), eqB(wide);
        const Channels fused = inBlocks(in, [&](float* x, long n) {
            runCapsuleStages(&lfA, lfLanes, &eqA, eqLanes, &factors, x, n);
        });
        EXPECT_EQ(fused, inBlocks(in, [&](float* x, long n) {
                      lfB.run(lfLanes, x, n);
                      eqB.run(eqLanes, x, n);
                      CABMatrix::processFrames(factors, x, n);
                  }));
    }
}

} // namespace
