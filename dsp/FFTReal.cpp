#include "dsp/FFTReal.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace {

int bitsForLength(long length) {
    if (length < 1) return 0;
    return static_cast<int>(std::lround(std::log(static_cast<double>(length)) / std::log(2.0)));
}

} // namespace

FFTReal::BitReversedLUT::BitReversedLUT(int nbr_bits) {
    const long length = 1L << nbr_bits;
    _ptr = std::make_unique<int[]>(length);
    _ptr[0] = 0;
    // i's reversal is that of i / 2 moved down one bit, with i's lowest bit on top.
    for (long i = 1; i < length; ++i)
        _ptr[i] = (_ptr[i >> 1] >> 1) | static_cast<int>((i & 1) << (nbr_bits - 1));
}

FFTReal::TrigoLUT::TrigoLUT(int nbr_bits) : _size(0) {
    if (nbr_bits <= 3) return;
    _size = (1L << (nbr_bits - 1)) - 4;
    _ptr = std::make_unique<double[]>(_size);
    const double pi = 4.0 * std::atan(1.0);
    for (int pass = 3; pass < nbr_bits; ++pass) {
        const long count = 1L << (pass - 1);
        const double step = pi / static_cast<double>(1L << pass);
        double* table = _ptr.get() + (count - 4);
        for (long i = 0; i < count; ++i)
            table[i] = std::cos(static_cast<double>(i) * step);
    }
}

const double* FFTReal::TrigoLUT::get_ptr(int pass) const {
    // The tables of passes 3, 4, ... start at offsets 0, 4, 12, ..., i.e. 2^(pass-1) - 4.
    return _ptr.get() + ((1L << (pass - 1)) - 4);
}

FFTReal::FFTReal(long length)
    : _nbr_bits(bitsForLength(length)), _length(1L << _nbr_bits), _bit_rev_lut(_nbr_bits),
      _trigo_lut(_nbr_bits), _sqrt2_2(std::sqrt(2.0) * 0.5) {
    assert((1L << _nbr_bits) == length);
    if (_nbr_bits > 2) _buffer = std::make_unique<double[]>(_length);
}

FFTReal::~FFTReal() = default;

long FFTReal::get_table_bytes() const {
    long bytes = _length * static_cast<long>(sizeof(int));
    bytes += _trigo_lut.get_size() * static_cast<long>(sizeof(double));
    if (_buffer) bytes += _length * static_cast<long>(sizeof(double));
    return bytes;
}

void FFTReal::do_fft(double* f, const double* x) const {
    switch (_nbr_bits) {
    case 0:
        f[0] = x[0];
        return;
    case 1:
        f[0] = x[0] + x[1];
        f[1] = x[0] - x[1];
        return;
    case 2: {
        const double s0 = x[0] + x[2];
        const double s1 = x[1] + x[3];
        f[1] = x[0] - x[2];
        f[3] = x[1] - x[3];
        f[0] = s0 + s1;
        f[2] = s0 - s1;
        return;
    }
    default:
        forwardPasses(f, x);
    }
}

// Decimation in time. After the passes up to size M, every block of M values holds the packed
// spectrum of its subsequence; a pass merges neighbouring blocks E and O into
// Y(k) = E(k) + e^(+j pi k / M) O(k).
void FFTReal::forwardPasses(double* f, const double* x) const {
    double* const scratch = _buffer.get();
    // The passes alternate between the two arrays; the start is chosen so the last lands in f.
    double* df = (_nbr_bits & 1) ? scratch : f;
    double* sf = (_nbr_bits & 1) ? f : scratch;
    const int* const lut = _bit_rev_lut.get_ptr();

    // Passes 1 and 2: 4-point transforms of the bit-reversed input.
    for (long i = 0; i < _length; i += 4) {
        const double x0 = x[lut[i]];
        const double x1 = x[lut[i + 1]];
        const double x2 = x[lut[i + 2]];
        const double x3 = x[lut[i + 3]];
        double* const d = df + i;
        d[1] = x0 - x1;
        d[3] = x2 - x3;
        const double s0 = x0 + x1;
        const double s2 = x2 + x3;
        d[0] = s0 + s2;
        d[2] = s0 - s2;
    }

    // Pass 3: the only twiddle besides 1 and j is e^(j pi/4).
    for (long i = 0; i < _length; i += 8) {
        const double* const s = df + i;
        double* const d = sf + i;
        d[0] = s[0] + s[4];
        d[4] = s[0] - s[4];
        d[2] = s[2];
        d[6] = s[6];
        double v = (s[5] - s[7]) * _sqrt2_2;
        d[1] = s[1] + v;
        d[3] = s[1] - v;
        v = (s[5] + s[7]) * _sqrt2_2;
        d[5] = v + s[3];
        d[7] = v - s[3];
    }

    for (int pass = 3; pass < _nbr_bits; ++pass) {
        const long blockSize = 1L << pass; // M, the size of the blocks being merged
        const long half = blockSize >> 1;
        const double* const cosTable = _trigo_lut.get_ptr(pass);
        for (long start = 0; start < _length; start += 2 * blockSize) {
            const double* const er = sf + start; // E: real parts at [0, M/2], imaginary after
            const double* const ei = er + half;
            const double* const orr = er + blockSize;
            const double* const oi = orr + half;
            double* const yr = df + start;
            double* const yi = yr + blockSize;
            yr[0] = er[0] + orr[0];
            yi[0] = er[0] - orr[0];
            yr[half] = er[half];
            yi[half] = orr[half];
            for (long k = 1; k < half; ++k) {
                const double c = cosTable[k];
                const double s = cosTable[half - k];
                double v = orr[k] * c - oi[k] * s;
                yr[k] = er[k] + v;
                yi[-k] = er[k] - v;
                v = orr[k] * s + oi[k] * c;
                yi[k] = v + ei[k];
                yi[blockSize - k] = v - ei[k];
            }
        }
        std::swap(df, sf);
    }
}

void FFTReal::do_ifft(const double* f, double* x) const {
    switch (_nbr_bits) {
    case 0:
        x[0] = f[0];
        return;
    case 1:
        x[0] = f[0] + f[1];
        x[1] = f[0] - f[1];
        return;
    case 2: {
        const double s0 = f[0] + f[2];
        const double s1 = f[0] - f[2];
        const double r = f[1] * 2.0;
        const double i = f[3] * 2.0;
        x[0] = s0 + r;
        x[2] = s0 - r;
        x[1] = s1 + i;
        x[3] = s1 - i;
        return;
    }
    default:
        inversePasses(f, x);
    }
}

// Undoes the forward passes from the largest down: 2 E(k) = Y(k) + conj Y(M-k) and
// 2 O(k) = e^(-j pi k / M) (Y(k) - conj Y(M-k)); every pass doubles, so the result is N times x.
void FFTReal::inversePasses(const double* f, double* x) const {
    double* const scratch = _buffer.get();
    // The 4-point stage scatters into x through the bit-reversal table, so the stage before it
    // must land in the scratch array.
    double* df = (_nbr_bits & 1) ? scratch : x;
    double* other = (_nbr_bits & 1) ? x : scratch;
    const double* sf = f;

    for (int pass = _nbr_bits - 1; pass >= 3; --pass) {
        const long blockSize = 1L << pass;
        const long half = blockSize >> 1;
        const double* const cosTable = _trigo_lut.get_ptr(pass);
        for (long start = 0; start < _length; start += 2 * blockSize) {
            const double* const yr = sf + start;
            const double* const yi = yr + blockSize;
            double* const er = df + start;
            double* const ei = er + half;
            double* const orr = er + blockSize;
            double* const oi = orr + half;
            er[0] = yr[0] + yi[0];
            orr[0] = yr[0] - yi[0];
            er[half] = yr[half] * 2.0;
            orr[half] = yi[half] * 2.0;
            for (long k = 1; k < half; ++k) {
                er[k] = yr[k] + yi[-k];
                ei[k] = yi[k] - yi[blockSize - k];
                const double c = cosTable[k];
                const double s = cosTable[half - k];
                const double dr = yr[k] - yi[-k];
                const double di = yi[k] + yi[blockSize - k];
                orr[k] = dr * c + di * s;
                oi[k] = di * c - dr * s;
            }
        }
        sf = df;
        std::swap(df, other);
    }

    // Inverse of pass 3.
    for (long i = 0; i < _length; i += 8) {
        const double* const s = sf + i;
        double* const d = df + i;
        d[0] = s[0] + s[4];
        d[4] = s[0] - s[4];
        d[2] = s[2] * 2.0;
        d[6] = s[6] * 2.0;
        d[1] = s[1] + s[3];
        d[3] = s[5] - s[7];
        const double dr = s[1] - s[3];
        const double di = s[5] + s[7];
        d[5] = (dr + di) * _sqrt2_2;
        d[7] = (di - dr) * _sqrt2_2;
    }

    // Inverse of passes 1 and 2, written through the bit-reversal table.
    const int* const lut = _bit_rev_lut.get_ptr();
    for (long i = 0; i < _length; i += 4) {
        const double* const s = df + i;
        const double s0 = s[0] + s[2];
        const double s1 = s[0] - s[2];
        const double r = s[1] * 2.0;
        const double im = s[3] * 2.0;
        x[lut[i]] = s0 + r;
        x[lut[i + 1]] = s0 - r;
        x[lut[i + 2]] = s1 + im;
        x[lut[i + 3]] = s1 - im;
    }
}

void FFTReal::rescale(double* x) const {
    const double mul = 1.0 / static_cast<double>(_length);
    for (long i = 0; i < _length; ++i)
        x[i] *= mul;
}
