#include "dsp/QuadConvolver.h"

#include <cfloat>
#include <cmath>
#include <cstring>

CQuadConvolverDesign::CQuadConvolverDesign() : active{}, response{} {}

CQuadConvolver::CQuadConvolver() : fft(kSize) {
    clear();
}

void CQuadConvolver::clear() {
    std::memset(input, 0, sizeof input);
    std::memset(output, 0, sizeof output);
    position = kHop;
}

void CQuadConvolver::run(const CQuadConvolverDesign& d, float* frames, long n) {
    long done = 0;
    while (done < n) {
        long run = kSize - position;
        if (run > n - done) run = n - done;
        float* const block = frames + 4 * done;
        for (long i = 0; i < run; ++i) {
            const int p = position + static_cast<int>(i);
            for (int k = 0; k < 4; ++k) {
                const float x = block[4 * i + k];
                input[p][k] = x;
                if (d.active[k]) block[4 * i + k] = static_cast<float>(output[p - kHop][k]);
            }
        }
        position += static_cast<int>(run);
        done += run;
        if (position == kSize) processFrame(d);
    }
}

void CQuadConvolver::processFrame(const CQuadConvolverDesign& d) {
    double* const samples = scratch[0];
    double* const spectrum = scratch[1];
    double* const filtered = scratch[2];
    for (int k = 0; k < 4; ++k) {
        if (!d.active[k]) continue;
        const double* response = d.response + kSize * k;
        for (int i = 0; i < kSize; ++i)
            samples[i] = input[i][k];
        fft.do_fft(spectrum, samples);
        for (int j = 0; j < kHop; ++j) {
            const double xr = spectrum[j];
            const double xi = spectrum[kHop + j];
            const double hr = response[j];
            const double hi = response[kHop + j];
            spectrum[j] = xr * hr - xi * hi;
            spectrum[kHop + j] = xr * hi + xi * hr;
        }
        fft.do_ifft(spectrum, filtered);
        fft.rescale(filtered);
        bool finite = true;
        for (int i = 0; i < kHop; ++i) {
            const double y = filtered[kHop + i];
            finite = finite && std::isfinite(y);
            // Keeps the conversion to float finite for extreme but finite input.
            output[i][k] = y > FLT_MAX ? FLT_MAX : (y < -FLT_MAX ? -FLT_MAX : y);
        }
        // Non-finite input spreads over the whole frame: the channel starts afresh.
        if (!finite)
            for (int i = 0; i < kSize; ++i) {
                input[i][k] = 0.0;
                if (i < kHop) output[i][k] = 0.0;
            }
    }
    for (int i = 0; i < kHop; ++i)
        for (int k = 0; k < 4; ++k)
            input[i][k] = input[kHop + i][k];
    position = kHop;
}
