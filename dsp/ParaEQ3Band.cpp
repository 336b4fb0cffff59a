#include "dsp/ParaEQ3Band.h"

#include "dsp/ABMatrix.h"

CParaEQ3Band::CParaEQ3Band() : outputGain(1.0f) {
    CParaEQ3Band::init();
}

CParaEQ3Band::CParaEQ3Band(float f1, float w1, float g1, float f2, float w2, float g2, float f3,
                           float w3, float g3, float outDb)
    : CParaEQ3Band() {
    setParameters(f1, w1, g1, f2, w2, g2, f3, w3, g3, outDb);
}

void CParaEQ3Band::setParameters(float f1, float w1, float g1, float f2, float w2, float g2,
                                 float f3, float w3, float g3, float outDb) {
    band1.setParametersRelative(f1, w1, g1);
    band2.setParametersRelative(f2, w2, g2);
    band3.setParametersRelative(f3, w3, g3);
    outputGain = limitedDb2level(outDb);
}

void CParaEQ3Band::init() {
    band1.init();
    band2.init();
    band3.init();
}

void CParaEQ3Band::setSamplingRate(float rate) {
    band1.setSamplingRate(rate);
    band2.setSamplingRate(rate);
    band3.setSamplingRate(rate);
}

void CParaEQ3Band::doFilter(float* buf, long n) {
    CMitRegFilter* const bands[] = {&band1, &band2, &band3};
    CMitRegFilter::doFilterCascade(bands, 3, buf, n);
    const float gain = outputGain;
    for (long i = 0; i < n; ++i)
        buf[i] *= gain;
}

void CParaEQ3Band::clearBuffers() {
    band1.clearBuffers();
    band2.clearBuffers();
    band3.clearBuffers();
}
