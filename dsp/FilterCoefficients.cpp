#include "dsp/FilterCoefficients.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

CFilterCoefficients::~CFilterCoefficients() = default;

void CFilterCoefficients::setFilterSizeA(float rate, int n) {
    if (std::isnan(rate)) return;
    if (n < 0) n = 0;
    sizesA[rate] = n;
    coefficientsA[rate] = Array(new float[n]());
}

void CFilterCoefficients::setFilterSizeB(float rate, int n) {
    if (std::isnan(rate)) return;
    if (n < 0) n = 0;
    sizesB[rate] = n;
    coefficientsB[rate] = Array(new float[n]());
}

float* CFilterCoefficients::lookup(std::map<float, Array>& arrays, float rate) {
    const auto found = arrays.find(rate);
    return found == arrays.end() ? nullptr : found->second.get();
}

int CFilterCoefficients::lookupSize(const std::map<float, int>& sizes, float rate) {
    const auto found = sizes.find(rate);
    return found == sizes.end() ? 0 : found->second;
}

bool CFilterCoefficients::hasFilterFor(float rate) const {
    return lookupSize(sizesA, rate) > 0 && lookupSize(sizesB, rate) > 0;
}

float* CFilterCoefficients::getCoefficientsA(float rate) {
    return lookup(coefficientsA, rate);
}
float* CFilterCoefficients::getCoefficientsB(float rate) {
    return lookup(coefficientsB, rate);
}
int CFilterCoefficients::getFilterSizeA(float rate) {
    return lookupSize(sizesA, rate);
}
int CFilterCoefficients::getFilterSizeB(float rate) {
    return lookupSize(sizesB, rate);
}

float CFilterCoefficients::rateFromPath(const char* path) {
    static const struct {
        const char* w;
        const char* vel;
        float rate;
    } table[] = {
        {"W44", "VEL44", 44100.0f},    {"W48", "VEL48", 48000.0f},    {"W88", "VEL88", 88200.0f},
        {"W96", "VEL96", 96000.0f},    {"W176", "VEL176", 176400.0f}, {"W192", "VEL192", 192000.0f},
        {"W353", "VEL353", 352800.0f}, {"W384", "VEL384", 384000.0f},
    };
    char upper[1025];
    size_t length = strnlen(path, sizeof(upper) - 1);
    for (size_t i = 0; i < length; ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[i])));
    upper[length] = '\0';
    float rate = 0.0f;
    // Every matching row assigns its rate: the last match wins.
    for (const auto& row : table)
        if (std::strstr(upper, row.w) != nullptr || std::strstr(upper, row.vel) != nullptr)
            rate = row.rate;
    return rate;
}

bool CFilterCoefficients::isStableRecursion(const float* a, int count) {
    // Trailing zeros lower the order without moving any pole.
    while (count > 0 && a[count - 1] == 0.0f)
        --count;
    if (count <= 0) return true;
    // Step down from order m to m - 1: the reflection coefficient is the last coefficient, and
    // the poles lie inside the unit circle exactly when every reflection coefficient has a
    // magnitude below 1.
    std::vector<double> c(a, a + count), next(static_cast<size_t>(count));
    for (int m = count; m >= 1; --m) {
        const double k = c[static_cast<size_t>(m - 1)];
        if (!(std::fabs(k) < 1.0)) return false;
        const double scale = 1.0 - k * k;
        for (int i = 0; i < m - 1; ++i)
            next[static_cast<size_t>(i)] =
                (c[static_cast<size_t>(i)] - k * c[static_cast<size_t>(m - 2 - i)]) / scale;
        c.swap(next);
    }
    return true;
}

namespace {
int16_t littleEndian16(const unsigned char* bytes) {
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

float littleEndianFloat(const unsigned char* bytes) {
    uint32_t word = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                    (static_cast<uint32_t>(bytes[2]) << 16) |
                    (static_cast<uint32_t>(bytes[3]) << 24);
    float value;
    std::memcpy(&value, &word, sizeof(value));
    return value;
}

bool readFloats(FILE* file, std::vector<float>& values, int count) {
    values.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        unsigned char bytes[4];
        if (std::fread(bytes, 1, 4, file) != 4) return false;
        values[static_cast<size_t>(i)] = littleEndianFloat(bytes);
        // A NaN or infinite coefficient would only ever produce a poisoned filter.
        if (!std::isfinite(values[static_cast<size_t>(i)])) return false;
    }
    return true;
}
} // namespace

std::string CFilterCoefficients::setTolvinIIRFileName(const char* path) {
    if (path == nullptr) return "No Tolvin filter coefficients file named";
    const auto problem = [path](const char* what) { return std::string(what) + path; };
    const float rate = rateFromPath(path);
    if (rate == 0.0f)
        return problem("No sampling rate in the name of Tolvin filter coefficients file: ");
    // Regular files only: opening a FIFO named like a coefficient file would wait for a writer,
    // blocking the host that builds the plug-in.
    struct stat status;
    const bool regular = stat(path, &status) == 0 && S_ISREG(status.st_mode);
    FILE* file = regular ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        setFilterSizeA(rate, 0);
        setFilterSizeB(rate, 0);
        return problem("Failed to open Tolvin filter coefficients file: ");
    }
    unsigned char header[4];
    // A file that simply ends early is reported as invalid below, when its counts cannot be read
    // either; a read error has a system description.
    const bool readError =
        std::fread(header, 1, sizeof(header), file) != sizeof(header) && std::ferror(file);
    const int error = errno;
    unsigned char counts[4];
    std::vector<float> b, a;
    bool valid = std::fread(counts, 1, sizeof(counts), file) == sizeof(counts);
    int nA = 0, nB = 0;
    if (valid) {
        nA = littleEndian16(counts);
        nB = littleEndian16(counts + 2);
        valid = nA >= 0 && nB >= 0 && nA <= kMaxTolvinCount && nB <= kMaxTolvinCount;
    }
    // B comes before A in the file, although the A count comes first.
    valid = valid && readFloats(file, b, nB) && readFloats(file, a, nA);
    std::fclose(file);
    if (!valid) {
        // Nothing half-loaded: the rate passes its signal through, as for a missing file.
        setFilterSizeA(rate, 0);
        setFilterSizeB(rate, 0);
        if (readError)
            return "Cannot read Tolvin filter coefficients file (" +
                   std::string(std::strerror(error)) + "): " + path;
        return problem("Invalid Tolvin filter coefficients file: ");
    }
    if (!isStableRecursion(a.data(), nA)) {
        // Its output would grow without bound; the rate passes its signal through instead.
        setFilterSizeA(rate, 0);
        setFilterSizeB(rate, 0);
        return problem("Unstable filter in Tolvin filter coefficients file, not used: ");
    }
    setFilterSizeA(rate, nA);
    setFilterSizeB(rate, nB);
    std::copy(a.begin(), a.end(), coefficientsA[rate].get());
    std::copy(b.begin(), b.end(), coefficientsB[rate].get());
    return std::string();
}
