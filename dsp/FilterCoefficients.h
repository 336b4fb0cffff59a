#pragma once

#include <map>
#include <memory>
#include <string>

// Filter coefficients keyed by sample rate: a feedback ("A": a1, a2, ...) and a feed-forward
// ("B": b0, b1, ...) array per rate. Filters point at a set and never own it; one set may serve
// several filters.
class CFilterCoefficients {
public:
    CFilterCoefficients() = default;
    virtual ~CFilterCoefficients();
    CFilterCoefficients(const CFilterCoefficients&) = delete;
    CFilterCoefficients& operator=(const CFilterCoefficients&) = delete;

    // Records the count for the rate and gives the rate a fresh, zeroed array of that many values
    // (a negative count is taken as 0).
    void setFilterSizeA(float rate, int n);
    void setFilterSizeB(float rate, int n);
    // The array for the rate; null when the set holds none (whoever designs for the rate tells
    // the user, see hasFilterFor).
    float* getCoefficientsA(float rate);
    float* getCoefficientsB(float rate);
    // The count for the rate, 0 when none was set.
    int getFilterSizeA(float rate);
    int getFilterSizeB(float rate);
    // Whether the set holds a filter for the rate: feedback and feed-forward coefficients.
    bool hasFilterFor(float rate) const;

    // Loads one Tolvin coefficients file under the rate its path names. Answers what went wrong,
    // as a notice naming the file ("Failed to open Tolvin filter coefficients file: PATH", ...),
    // or an empty text when the file loaded; a file that fails leaves its rate without a filter.
    std::string setTolvinIIRFileName(const char* path);

    // The rate a Tolvin file path names, 0 when it names none.
    static float rateFromPath(const char* path);

    // True when the recursion y[n] = ... - a1 y[n-1] - ... - aN y[n-N] (a0 = 1 implied, `a`
    // holding a1..aN) decays: every pole strictly inside the unit circle (Schur-Cohn step-down).
    static bool isStableRecursion(const float* a, int count);

    // The most coefficients of one kind a Tolvin file may hold; the recursive filters keep
    // 1024 samples of history.
    static constexpr int kMaxTolvinCount = 1024;

private:
    using Array = std::unique_ptr<float[]>;
    float* lookup(std::map<float, Array>& arrays, float rate);
    static int lookupSize(const std::map<float, int>& sizes, float rate);

    std::map<float, Array> coefficientsA;
    std::map<float, Array> coefficientsB;
    std::map<float, int> sizesA;
    std::map<float, int> sizesB;
};
