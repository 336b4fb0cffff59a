#include "dsp/LFFilter.h"

CLFFilter::CLFFilter() : CLFFilter(25.0f, 150.0f) {}

CLFFilter::CLFFilter(float cut, float boost) : cutFrequency(cut), boostFrequency(boost) {
    CLFFilter::init();
}

void CLFFilter::init() {
    shelf.setFreqs(cutFrequency, boostFrequency);
    highPass1.setFc(cutFrequency);
    highPass1.setD(1.109f);
    highPass2.setFc(cutFrequency);
    highPass2.setD(1.618f);
}

void CLFFilter::setSamplingRate(float rate) {
    CFilter::setSamplingRate(rate);
    shelf.setSamplingRate(rate);
    highPass1.setSamplingRate(rate);
    highPass2.setSamplingRate(rate);
    updateCoefficients();
}

void CLFFilter::setFreqs(float cut, float boost) {
    cutFrequency = cut;
    boostFrequency = boost;
    updateCoefficients();
}

float CLFFilter::dampingForCut(float cut) {
    if (cut <= 25.0f) return 1.109f;
    // 0.50900006 is 1.618 - 1.109 in single precision.
    if (cut <= 50.0f) return 1.109f + ((cut - 25.0f) / 25.0f) * 0.50900006f;
    return 1.618f;
}

void CLFFilter::updateCoefficients() {
    shelf.setFreqs(cutFrequency, boostFrequency);
    highPass1.setFc(cutFrequency);
    highPass2.setFc(cutFrequency);
    highPass1.setD(dampingForCut(cutFrequency));
}

void CLFFilter::doFilter(float* buf, long n) {
    shelf.doFilter(buf, n);
    highPass1.doFilter(buf, n);
    highPass2.doFilter(buf, n);
}

void CLFFilter::clearBuffers() {
    shelf.clearBuffers();
    highPass1.clearBuffers();
    highPass2.clearBuffers();
}
