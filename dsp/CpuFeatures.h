#pragma once

// Whether this processor runs the kernels built for AVX2 (with FMA). The shipped files run on any
// x86-64 processor: those kernels are chosen at run time, and only where this says so.
inline bool cpuHasWideVectors() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}
