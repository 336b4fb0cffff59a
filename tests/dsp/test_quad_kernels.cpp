// The four-channel kernels against the single-channel filters they stand for, on every path the
// processor may take (the one for any x86-64 processor and, where this one has it, the AVX2 one):
// the recursive ones bit for bit, the convolution within 1e-9 of full scale.

#include "FilterTestSupport.h"

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

#include <functional>
#include <memory>

using namespace filtertest;

namespace {

using Channels = std::vector<std::vector<float>>;

Channels noiseChannels(size_t n, unsigned seed) {
    Channels c;
    for (unsigned k = 0; k < 4; ++k)
        c.push_back(noise(n, seed + k, 0.5f));
    return c;
}

std::vector<float> interleave(const Channels& c) {
    std::vector<float> frames(4 * c[0].size());
    for (size_t i = 0; i < c[0].size(); ++i)
        for (size_t k = 0; k < 4; ++k)
            frames[4 * i + k] = c[k][i];
    return frames;
}

std::vector<float> channel(const std::vector<float>& frames, size_t k) {
    std::vector<float> out(frames.size() / 4);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = frames[4 * i + k];
    return out;
}

// Runs a kernel over the frames in blocks of uneven length.
template <typename Run> std::vector<float> inBlocks(std::vector<float> frames, Run run) {
    static const long sizes[] = {1, 513, 64, 2047, 7, 1024};
    const long n = static_cast<long>(frames.size() / 4);
    for (long done = 0, b = 0; done < n; ++b) {
        const long m = std::min(sizes[b % 6], n - done);
        run(frames.data() + 4 * done, m);
        done += m;
    }
    return frames;
}

// The four-channel design of four low-frequency filters, lane k from filter k.
CQuadLFDesign lfDesign(const std::vector<const CLFFilter*>& filters) {
    CQuadLFDesign design{};
    for (int k = 0; k < 4; ++k) {
        const CLFFilter& f = *filters[static_cast<size_t>(k)];
        for (int j = 0; j < 2; ++j)
            design.shelf[j][k] = f.getShelf().getB(j);
        design.shelf[2][k] = f.getShelf().getA(0);
        for (int j = 0; j < 5; ++j) {
            design.highPass1[j][k] =
                j < 3 ? f.getHighPass1().getB(j) : f.getHighPass1().getA(j - 3);
            design.highPass2[j][k] =
                j < 3 ? f.getHighPass2().getB(j) : f.getHighPass2().getA(j - 3);
        }
    }
    return design;
}

// One band of the four-channel equaliser from a band of each channel.
void setBand(CQuadEQDesign& design, int band, int k, const CMitRegFilter& filter) {
    const CMitRegFilter::Lane lane = filter.lane();
    design.bands[band].b0[k] = lane.b0;
    design.bands[band].b1[k] = lane.b1;
    design.bands[band].a1[k] = lane.a1;
    design.bands[band].a2[k] = lane.a2;
    design.bands[band].halfV[k] = lane.halfV;
}

std::vector<bool> paths() {
    return cpuHasWideVectors() ? std::vector<bool>{false, true} : std::vector<bool>{false};
}

// Each lane of the kernel's output against its channel's filter run alone (none: the lane keeps
// its samples), bit for bit or, given a tolerance, within it.
void expectLanes(const Channels& in, const std::function<void(float*, long)>& kernel,
                 const std::vector<CFilter*>& reference, double tolerance = 0.0) {
    const auto out = inBlocks(interleave(in), kernel);
    for (size_t k = 0; k < 4; ++k) {
        const std::vector<float> got = channel(out, k);
        if (reference[k] != nullptr) reference[k]->clearBuffers();
        const std::vector<float> expected = reference[k] ? run(*reference[k], in[k]) : in[k];
        if (tolerance == 0.0) {
            EXPECT_EQ(got, expected) << k;
            continue;
        }
        double error = 0.0;
        for (size_t i = 0; i < got.size(); ++i)
            error = std::max(error, std::fabs(static_cast<double>(got[i]) - expected[i]));
        EXPECT_LT(error, tolerance) << k;
    }
}

TEST(QuadKernels, LowFrequencyFiltersAreTheChannelFilters) {
    const Channels in = noiseChannels(6000, 1);
    const float settings[4][2] = {{25, 150}, {30, 50}, {250, 20}, {20, 20}};
    std::vector<std::unique_ptr<CLFFilter>> reference;
    for (int k = 0; k < 4; ++k) {
        reference.push_back(std::make_unique<CLFFilter>(settings[k][0], settings[k][1]));
        reference.back()->setSamplingRate(44100.0f);
    }
    const CQuadLFDesign design =
        lfDesign({reference[0].get(), reference[1].get(), reference[2].get(), reference[3].get()});
    CQuadLF quad;
    expectLanes(in, [&](float* x, long n) { quad.run(design, x, n); },
                {reference[0].get(), reference[1].get(), reference[2].get(), reference[3].get()});
}

// The capsule stages in one pass give what they give one after another.
TEST(QuadKernels, OnePassThroughTheCapsuleStagesIsTheStagesInTurn) {
    CLFFilter lfFilter(30.0f, 120.0f);
    lfFilter.setSamplingRate(48000.0f);
    const CQuadLFDesign lf = lfDesign({&lfFilter, &lfFilter, &lfFilter, &lfFilter});
    CQuadEQDesign eqDesign{};
    eqDesign.numBands = 1;
    for (int k = 0; k < 4; ++k) {
        CMitRegFilter band;
        band.setSamplingRate(48000.0f);
        band.setParametersOctaves(500.0f + 700.0f * static_cast<float>(k), 1.0f,
                                  6.0f - 4.0f * static_cast<float>(k));
        setBand(eqDesign, 0, k, band);
    }
    CABMatrix matrix;
    float gains[4][4] = {{0, -3, 0, 1}, {2, 0, 0, 0}, {0, 0, -6, 0}, {0, 1, 0, 0}};
    matrix.setGains4x4(gains);
    matrix.setOutGains(-8.0f, 0.0f, 1.0f, 0.0f);
    const CMatrixFactors factors = matrix.getFactors();
    const std::vector<float> in = interleave(noiseChannels(3000, 5));
    for (bool wide : paths()) {
        CQuadLF lfA, lfB;
        CQuadEQ eqA(wide), eqB(wide);
        const auto fused = inBlocks(in, [&](float* x, long n) {
            runCapsuleStages(&lfA, lf, &eqA, eqDesign, &factors, x, n);
        });
        const auto inTurn = inBlocks(in, [&](float* x, long n) {
            lfB.run(lf, x, n);
            eqB.run(eqDesign, x, n);
            CABMatrix::processFrames(factors, x, n);
        });
        EXPECT_EQ(fused, inTurn) << (wide ? "AVX2" : "any x86-64");
    }
}

TEST(QuadKernels, EqualiserBandsAreTheChannelFilters) {
    const Channels in = noiseChannels(5000, 2);
    const float bands[4][3][3] = {{{80, 0.5f, 6}, {1000, 0.3f, -9}, {9000, 1.2f, 3}},
                                  {{200, 0.2f, -3}, {3000, 2.0f, 12}, {15000, 0.1f, -12}},
                                  {{50, 1.0f, 1}, {500, 0.7f, 2}, {5000, 0.4f, 3}},
                                  {{120, 0.9f, -1}, {2500, 0.25f, 9}, {12000, 0.8f, -4}}};
    for (bool wide : paths()) {
        SCOPED_TRACE(wide ? "AVX2" : "any x86-64");
        CQuadEQDesign design{};
        design.numBands = 3;
        design.useOutputGain = true;
        std::vector<std::unique_ptr<CParaEQ3Band>> reference;
        for (int k = 0; k < 4; ++k) {
            const auto& b = bands[k];
            reference.push_back(std::make_unique<CParaEQ3Band>(
                b[0][0], b[0][1], b[0][2], b[1][0], b[1][1], b[1][2], b[2][0], b[2][1], b[2][2],
                -1.5f * static_cast<float>(k)));
            reference.back()->setSamplingRate(48000.0f);
            for (int band = 0; band < 3; ++band)
                setBand(design, band, k, reference.back()->getBand(band));
            design.outputGain[k] = reference.back()->getOutputGain();
        }
        CQuadEQ quad(wide);
        expectLanes(in, [&](float* x, long n) { quad.run(design, x, n); },
                    {reference[0].get(), reference[1].get(), reference[2].get(),
                     reference[3].get()});
    }
}

TEST(QuadKernels, RecursiveFiltersAreTheChannelFilters) {
    // Different orders per channel, one channel left alone.
    const std::vector<std::vector<float>> b = {
        {0.2f, 0.4f, 0.2f}, {0.3f, 0.1f}, {}, {0.5f, -0.1f, 0.05f, 0.02f}};
    const std::vector<std::vector<float>> a = {{-0.5f, 0.3f}, {-0.4f}, {}, {-0.2f, 0.1f, -0.05f}};
    const Channels in = noiseChannels(4000, 3);
    CQuadIIRDesign design;
    for (int k = 0; k < 4; ++k)
        design.setChannel(k, b[k].data(), static_cast<int>(b[k].size()), a[k].data(),
                          static_cast<int>(a[k].size()));
    Coefficients sets[4] = {Coefficients(b[0], a[0]), Coefficients(b[1], a[1]),
                            Coefficients(b[2], a[2]), Coefficients(b[3], a[3])};
    CIIRFilter reference[4];
    for (int k = 0; k < 4; ++k) {
        reference[k].setCoefficients(&sets[k]);
        reference[k].setSamplingRate(48000.0f);
    }
    CQuadIIR quad;
    expectLanes(in, [&](float* x, long n) { quad.run(design, x, n); },
                {&reference[0], &reference[1], &reference[2], &reference[3]});
}

TEST(QuadKernels, ConvolutionIsTheChannelFilters) {
    const Channels in = noiseChannels(9000, 4);
    CCoincidenceFilter w(0, 2.3f, 1.0f), xyz(1, 2.3f, 1.0f);
    for (bool wide : paths()) {
        SCOPED_TRACE(wide ? "AVX2" : "any x86-64");
        CQuadConvolverDesign design;
        const std::vector<CFFTFilter*> reference = {&w, &xyz, nullptr, &xyz};
        for (int k = 0; k < 4; ++k) {
            if (reference[k] == nullptr) continue;
            reference[k]->setSamplingRate(48000.0f);
            reference[k]->internalSetSamplingRate(48000.0f);
            design.setChannel(k, reference[k]->getResponse());
        }
        CQuadConvolver quad(wide);
        expectLanes(in, [&](float* x, long n) { quad.run(design, x, n); },
                    {reference.begin(), reference.end()}, 1e-9);
    }
}

} // namespace
