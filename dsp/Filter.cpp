#include "dsp/Filter.h"

#include <cstring>

CFilter::CFilter() : samplingRate(48000.0f) {
    name[0] = '\0';
}

CFilter::~CFilter() = default;

void CFilter::init() {}

void CFilter::setCoefficients(CFilterCoefficients*) {}

void CFilter::setSamplingRate(float rate) {
    samplingRate = rate;
}

void CFilter::doFilter(float*, long) {}

void CFilter::clearBuffers() {}

void CFilter::setName(const char* newName) {
    if (newName == nullptr) {
        name[0] = '\0';
        return;
    }
    size_t length = strnlen(newName, kMaxNameLength);
    std::memcpy(name, newName, length);
    name[length] = '\0';
}
