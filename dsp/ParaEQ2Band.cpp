#include "dsp/ParaEQ2Band.h"

#include "dsp/ABMatrix.h"

CParaEQ2Band::CParaEQ2Band() : outputGain(1.0f) {
    CParaEQ2Band::init();
}

CParaEQ2Band::CParaEQ2Band(float f1, float w1, float g1, float f2, float w2, float g2, float outDb)
    : CParaEQ2Band() {
    setParameters(f1, w1, g1, f2, w2, g2, outDb);
}

void CParaEQ2Band::setParameters(float f1, float w1, float g1, float f2, float w2, float g2,
                                 float outDb) {
    band1.setParametersRelative(f1, w1, g1);
    band2.setParametersRelative(f2, w2, g2);
    outputGain = limitedDb2level(outDb);
}

void CParaEQ2Band::init() {
    band1.init();
    band2.init();
}

void CParaEQ2Band::setSamplingRate(float rate) {
    band1.setSamplingRate(rate);
    band2.setSamplingRate(rate);
}

void CParaEQ2Band::doFilter(float* buf, long n) {
    CMitRegFilter* const bands[] = {&band1, &band2};
    CMitRegFilter::doFilterCascade(bands, 2, buf, n);
    const float gain = outputGain;
    for (long i = 0; i < n; ++i)
        buf[i] *= gain;
}

void CParaEQ2Band::clearBuffers() {
    band1.clearBuffers();
    band2.clearBuffers();
}
