// The definitions behind RtProbe.h. The allocation functions forward to glibc's exported __libc_*
// implementations, so they never depend on dlsym; every other wrapper finds the C library's
// function with dlsym(RTLD_NEXT) before main (or at its first call, if that comes earlier), so
// an armed thread never resolves one.

#include "RtProbe.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

// The replacements must be visible to shared objects, whatever the project's default visibility.
#pragma GCC visibility push(default)

extern "C" {
void* __libc_malloc(size_t size);
void __libc_free(void* pointer);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace rtprobe {
namespace {

constexpr int kMaxWrapped = 128;

// The probe's own state: it has to be global, because the replaced functions are.
struct ProbeState {
    std::atomic<long> calls[kNumKinds];
    std::atomic<const char*> first;   // the first function counted since the last reset
    const char* wrapped[kMaxWrapped]; // filled before main
    int numWrapped;
};
ProbeState state;

// Initial-exec TLS of the executable: reading these never allocates.
thread_local bool tArmed = false;

} // namespace

void note(Kind kind, const char* function) {
    if (!tArmed) return;
    state.calls[kind].fetch_add(1, std::memory_order_relaxed);
    const char* none = nullptr;
    state.first.compare_exchange_strong(none, function, std::memory_order_relaxed);
}

// The C library's definition of a wrapped function, looked up once.
void* resolve(std::atomic<void*>& real, const char* name) {
    void* pointer = real.load(std::memory_order_relaxed);
    if (pointer != nullptr) return pointer;
    pointer = dlsym(RTLD_NEXT, name);
    if (pointer == nullptr) std::abort(); // nothing can be reported without a wrapped call
    real.store(pointer, std::memory_order_relaxed);
    return pointer;
}

// Registers a wrapped function, and looks its definition up before main.
struct Wrapped {
    Wrapped(const char* name, std::atomic<void*>* real) {
        state.wrapped[state.numWrapped++] = name;
        if (real != nullptr) resolve(*real, name);
    }
};

void arm(bool on) {
    tArmed = on;
}

Counts counts() {
    Counts result;
    for (int kind = 0; kind < kNumKinds; ++kind)
        result.calls[kind] = state.calls[kind].load(std::memory_order_relaxed);
    return result;
}

void reset() {
    for (auto& calls : state.calls)
        calls.store(0, std::memory_order_relaxed);
    state.first.store(nullptr, std::memory_order_relaxed);
}

std::string describeCalls() {
    const char* first = state.first.load(std::memory_order_relaxed);
    return std::to_string(counts().total()) + " calls, the first " + (first ? first : "none");
}

std::string functionsNotInterposed() {
    std::string missing;
    for (int f = 0; f < state.numWrapped; ++f) {
        // Interposed when the global lookup finds this executable's definition, not the C
        // library's that comes next.
        void* global = dlsym(RTLD_DEFAULT, state.wrapped[f]);
        if (global == nullptr || global == dlsym(RTLD_NEXT, state.wrapped[f]))
            missing += std::string(missing.empty() ? "" : ", ") + state.wrapped[f];
    }
    return missing;
}

} // namespace rtprobe

using rtprobe::note;
namespace rp = rtprobe;

// A wrapper that counts and forwards all its arguments unchanged.
#define RTPROBE_FORWARD(kind, ret, name, params, args)                                             \
    static std::atomic<void*> real_##name{nullptr};                                                \
    static rp::Wrapped wrapped_##name(#name, &real_##name);                                        \
    ret name params {                                                                              \
        note(rp::kind, #name);                                                                     \
        return reinterpret_cast<decltype(&::name)>(rp::resolve(real_##name, #name)) args;          \
    }
// The same for the allocation functions, which go straight to glibc's own.
#define RTPROBE_ALLOCATION(ret, name, params, call)                                                \
    static rp::Wrapped wrapped_##name(#name, nullptr);                                             \
    ret name params {                                                                              \
        note(rp::kAllocation, #name);                                                              \
        return call;                                                                               \
    }

extern "C" {

RTPROBE_ALLOCATION(void*, malloc, (size_t n), __libc_malloc(n))
RTPROBE_ALLOCATION(void*, calloc, (size_t count, size_t n), __libc_calloc(count, n))
RTPROBE_ALLOCATION(void*, realloc, (void* p, size_t n), __libc_realloc(p, n))
RTPROBE_ALLOCATION(void, free, (void* p), __libc_free(p))
RTPROBE_ALLOCATION(void*, memalign, (size_t alignment, size_t n), __libc_memalign(alignment, n))
RTPROBE_ALLOCATION(void*, aligned_alloc, (size_t alignment, size_t n),
                   __libc_memalign(alignment, n))
RTPROBE_ALLOCATION(int, posix_memalign, (void** result, size_t alignment, size_t n),
                   alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0 ? EINVAL
                   : (*result = __libc_memalign(alignment, n)) == nullptr               ? ENOMEM
                                                                                        : 0)
RTPROBE_FORWARD(kAllocation, void*, mmap, (void* a, size_t n, int p, int f, int fd, off_t o),
                (a, n, p, f, fd, o))
RTPROBE_FORWARD(kAllocation, int, munmap, (void* a, size_t n), (a, n))

RTPROBE_FORWARD(kLock, int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
RTPROBE_FORWARD(kLock, int, pthread_mutex_trylock, (pthread_mutex_t * m), (m))
RTPROBE_FORWARD(kLock, int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
RTPROBE_FORWARD(kLock, int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
RTPROBE_FORWARD(kLock, int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
RTPROBE_FORWARD(kLock, int, pthread_cond_timedwait,
                (pthread_cond_t * c, pthread_mutex_t* m, const timespec* t), (c, m, t))
RTPROBE_FORWARD(kLock, int, pthread_cond_signal, (pthread_cond_t * c), (c))
RTPROBE_FORWARD(kLock, int, pthread_cond_broadcast, (pthread_cond_t * c), (c))
RTPROBE_FORWARD(kLock, int, pthread_once, (pthread_once_t * o, void (*f)()), (o, f))
RTPROBE_FORWARD(kLock, int, pthread_join, (pthread_t t, void** r), (t, r))
RTPROBE_FORWARD(kLock, int, pthread_create,
                (pthread_t * t, const pthread_attr_t* a, void* (*f)(void*), void* p), (t, a, f, p))
RTPROBE_FORWARD(kLock, int, sem_wait, (sem_t * s), (s))
RTPROBE_FORWARD(kLock, int, sem_trywait, (sem_t * s), (s))
RTPROBE_FORWARD(kLock, int, sem_post, (sem_t * s), (s))

RTPROBE_FORWARD(kSystemCall, ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n))
RTPROBE_FORWARD(kSystemCall, ssize_t, writev, (int fd, const iovec* v, int n), (fd, v, n))
RTPROBE_FORWARD(kSystemCall, ssize_t, read, (int fd, void* b, size_t n), (fd, b, n))
RTPROBE_FORWARD(kSystemCall, int, close, (int fd), (fd))
RTPROBE_FORWARD(kSystemCall, int, stat, (const char* p, struct stat* s), (p, s))
RTPROBE_FORWARD(kSystemCall, int, lstat, (const char* p, struct stat* s), (p, s))
RTPROBE_FORWARD(kSystemCall, int, fstat, (int fd, struct stat* s), (fd, s))
RTPROBE_FORWARD(kSystemCall, int, access, (const char* p, int m), (p, m))
RTPROBE_FORWARD(kSystemCall, FILE*, fopen, (const char* p, const char* m), (p, m))
RTPROBE_FORWARD(kSystemCall, FILE*, fopen64, (const char* p, const char* m), (p, m))
RTPROBE_FORWARD(kSystemCall, int, fclose, (FILE * f), (f))
RTPROBE_FORWARD(kSystemCall, size_t, fread, (void* b, size_t s, size_t n, FILE* f), (b, s, n, f))
RTPROBE_FORWARD(kSystemCall, size_t, fwrite, (const void* b, size_t s, size_t n, FILE* f),
                (b, s, n, f))
RTPROBE_FORWARD(kSystemCall, int, fflush, (FILE * f), (f))
RTPROBE_FORWARD(kSystemCall, char*, fgets, (char* b, int n, FILE* f), (b, n, f))
RTPROBE_FORWARD(kSystemCall, int, fputs, (const char* s, FILE* f), (s, f))
RTPROBE_FORWARD(kSystemCall, int, vfprintf, (FILE * f, const char* format, va_list a),
                (f, format, a))
RTPROBE_FORWARD(kSystemCall, int, vprintf, (const char* format, va_list a), (format, a))
RTPROBE_FORWARD(kSystemCall, DIR*, opendir, (const char* p), (p))
RTPROBE_FORWARD(kSystemCall, dirent*, readdir, (DIR * d), (d))
RTPROBE_FORWARD(kSystemCall, int, closedir, (DIR * d), (d))
RTPROBE_FORWARD(kSystemCall, int, nanosleep, (const timespec* t, timespec* r), (t, r))
RTPROBE_FORWARD(kSystemCall, int, clock_nanosleep,
                (clockid_t c, int f, const timespec* t, timespec* r), (c, f, t, r))
RTPROBE_FORWARD(kSystemCall, int, usleep, (useconds_t u), (u))
RTPROBE_FORWARD(kSystemCall, int, sched_yield, (), ())
RTPROBE_FORWARD(kSystemCall, int, poll, (pollfd * p, nfds_t n, int t), (p, n, t))

// The variadic ones pass on what their optional arguments can hold.
#define RTPROBE_VARIADIC(ret, name, params, last, ...)                                             \
    static std::atomic<void*> real_##name{nullptr};                                                \
    static rp::Wrapped wrapped_##name(#name, &real_##name);                                        \
    ret name params {                                                                              \
        note(rp::kSystemCall, #name);                                                              \
        va_list args;                                                                              \
        va_start(args, last);                                                                      \
        long extra[6];                                                                             \
        for (long& value : extra)                                                                  \
            value = va_arg(args, long);                                                            \
        va_end(args);                                                                              \
        return reinterpret_cast<decltype(&::name)>(rp::resolve(real_##name, #name))(               \
            __VA_ARGS__, extra[0], extra[1], extra[2], extra[3], extra[4], extra[5]);              \
    }
RTPROBE_VARIADIC(int, open, (const char* path, int flags, ...), flags, path, flags)
RTPROBE_VARIADIC(int, open64, (const char* path, int flags, ...), flags, path, flags)
RTPROBE_VARIADIC(int, openat, (int at, const char* path, int flags, ...), flags, at, path, flags)
RTPROBE_VARIADIC(long, syscall, (long number, ...), number, number)
static rp::Wrapped wrapped_fprintf("fprintf", nullptr), wrapped_printf("printf", nullptr);
int fprintf(FILE* file, const char* format, ...) {
    note(rp::kSystemCall, "fprintf");
    va_list args;
    va_start(args, format);
    const int result = reinterpret_cast<decltype(&::vfprintf)>(
        rp::resolve(real_vfprintf, "vfprintf"))(file, format, args);
    va_end(args);
    return result;
}
int printf(const char* format, ...) {
    note(rp::kSystemCall, "printf");
    va_list args;
    va_start(args, format);
    const int result =
        reinterpret_cast<decltype(&::vprintf)>(rp::resolve(real_vprintf, "vprintf"))(format, args);
    va_end(args);
    return result;
}

} // extern "C"

#pragma GCC visibility pop
