#include "dsp/MitRegFilter.h"
#include "dsp/ParaEQ3Band.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {
std::vector<float> noise(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> samples(n);
    for (float& s : samples)
        s = uniform(random);
    return samples;
}

void configure(CMitRegFilter (&bands)[4], bool relative) {
    const float settings[4][3] = {{80.0f, 1.5f, 6.0f},
                                  {1000.0f, 0.3f, -9.0f},
                                  {7000.0f, 2.0f, 3.0f},
                                  {15000.0f, 0.7f, -2.5f}};
    for (int k = 0; k < 4; ++k) {
        bands[k].setSamplingRate(44100.0f);
        if (relative)
            bands[k].setParametersRelative(settings[k][0], settings[k][1], settings[k][2]);
        else
            bands[k].setParametersOctaves(settings[k][0], settings[k][1], settings[k][2]);
    }
}
} // namespace

// The one-pass loops must give exactly what one doFilter after another gives, block after block.
TEST(MitRegPasses, CascadeAndParallelEqualSeparateBands) {
    for (int count = 1; count <= 4; ++count) {
        CMitRegFilter separate[4], cascaded[4];
        configure(separate, true);
        configure(cascaded, true);
        CMitRegFilter* bands[4] = {&cascaded[0], &cascaded[1], &cascaded[2], &cascaded[3]};
        std::vector<float> a = noise(3000, 1), b = a;
        for (long start : {0L, 1L, 513L, 2000L}) {
            const long n = (start == 2000L ? 1000L : (start == 0 ? 1 : 512));
            for (int k = 0; k < count; ++k)
                separate[k].doFilter(a.data() + start, n);
            CMitRegFilter::doFilterCascade(bands, count, b.data() + start, n);
        }
        EXPECT_EQ(a, b) << count << " bands in series";
    }

    CMitRegFilter separate[4], parallel[4];
    configure(separate, false);
    configure(parallel, false);
    CMitRegFilter* bands[4] = {&parallel[0], &parallel[1], &parallel[2], &parallel[3]};
    std::vector<std::vector<float>> a, b;
    for (unsigned k = 0; k < 4; ++k)
        a.push_back(noise(2048, 10 + k));
    b = a;
    float* buffers[4] = {b[0].data(), b[1].data(), b[2].data(), b[3].data()};
    for (int k = 0; k < 4; ++k)
        separate[k].doFilter(a[static_cast<size_t>(k)].data(), 2048);
    CMitRegFilter::doFilterParallel(bands, buffers, 4, 2048);
    EXPECT_EQ(a, b);

    // A poisoned lane is reset without touching its neighbours.
    b[2][100] = std::nanf("");
    CMitRegFilter::doFilterParallel(bands, buffers, 4, 2048);
    for (size_t k = 0; k < 4; ++k)
        for (float s : b[k])
            ASSERT_TRUE(std::isfinite(s)) << k;
    EXPECT_EQ(parallel[2].getState(0), 0.0);
    EXPECT_NE(parallel[1].getState(0), 0.0);
}
