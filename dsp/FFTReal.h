#pragma once

#include <memory>

// Fast Fourier transform of real, double-precision signals whose length is a power of two.
//
// Spectrum layout written by do_fft and read by do_ifft, for length N and
// X(k) = sum x(n) e^(-j 2 pi k n / N):
//   f[0] = Re X(0), f[k] = Re X(k) for k = 1 .. N/2 - 1, f[N/2] = Re X(N/2),
//   f[N/2 + k] = -Im X(k) for k = 1 .. N/2 - 1 (the imaginary part of the e^(+j...) transform).
// The inverse is unscaled: do_ifft(do_fft(x)) is N times x; rescale divides by N.
class FFTReal {
public:
    explicit FFTReal(long length);
    ~FFTReal();
    FFTReal(const FFTReal&) = delete;
    FFTReal& operator=(const FFTReal&) = delete;

    void do_fft(double* f, const double* x) const;
    void do_ifft(const double* f, double* x) const;
    void rescale(double* x) const;

    long get_length() const { return _length; }
    int get_nbr_bits() const { return _nbr_bits; }
    // Bytes held on the heap by the tables and the scratch array.
    long get_table_bytes() const;

    // Entry i is i with its nbr_bits low bits reversed.
    class BitReversedLUT {
    public:
        explicit BitReversedLUT(int nbr_bits);
        const int* get_ptr() const { return _ptr.get(); }

    private:
        std::unique_ptr<int[]> _ptr;
    };

    // For each pass p = 3 .. nbr_bits - 1, the 2^(p-1) values cos(i pi / 2^p), one pass after
    // another.
    class TrigoLUT {
    public:
        explicit TrigoLUT(int nbr_bits);
        const double* get_ptr(int pass) const;
        long get_size() const { return _size; }

    private:
        std::unique_ptr<double[]> _ptr;
        long _size;
    };

private:
    void forwardPasses(double* f, const double* x) const;
    void inversePasses(const double* f, double* x) const;

    int _nbr_bits;
    long _length;
    BitReversedLUT _bit_rev_lut;
    TrigoLUT _trigo_lut;
    const double _sqrt2_2;
    std::unique_ptr<double[]> _buffer; // scratch for alternating passes, only when nbr_bits > 2
};
