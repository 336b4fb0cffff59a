// The definitions behind RtProbe.h: replacements of the allocation functions and wrappers of lock,
// wait, sleep and I/O calls, each forwarding to the C library. The allocation functions forward
// to glibc's exported __libc_* implementations, so they never depend on dlsym; every other real
// function is found with dlsym(RTLD_NEXT) before main, so an armed thread never resolves one.

#include "RtProbe.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <sstream>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
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
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
}

namespace rtprobe {
namespace {

// Every function the probe defines, with the kind of call it counts as.
#define RTPROBE_FUNCTIONS(X)                                                                       \
    X(malloc, kAllocation)                                                                         \
    X(calloc, kAllocation)                                                                         \
    X(realloc, kAllocation)                                                                        \
    X(reallocarray, kAllocation)                                                                   \
    X(free, kAllocation)                                                                           \
    X(memalign, kAllocation)                                                                       \
    X(posix_memalign, kAllocation)                                                                 \
    X(aligned_alloc, kAllocation)                                                                  \
    X(valloc, kAllocation)                                                                         \
    X(pvalloc, kAllocation)                                                                        \
    X(operator_new, kAllocation)                                                                   \
    X(operator_new_array, kAllocation)                                                             \
    X(operator_delete, kAllocation)                                                                \
    X(operator_delete_array, kAllocation)                                                          \
    X(mmap, kAllocation)                                                                           \
    X(munmap, kAllocation)                                                                         \
    X(mremap, kAllocation)                                                                         \
    X(pthread_mutex_lock, kLock)                                                                   \
    X(pthread_mutex_trylock, kLock)                                                                \
    X(pthread_mutex_timedlock, kLock)                                                              \
    X(pthread_rwlock_rdlock, kLock)                                                                \
    X(pthread_rwlock_wrlock, kLock)                                                                \
    X(pthread_rwlock_tryrdlock, kLock)                                                             \
    X(pthread_rwlock_trywrlock, kLock)                                                             \
    X(pthread_spin_lock, kLock)                                                                    \
    X(pthread_cond_wait, kLock)                                                                    \
    X(pthread_cond_timedwait, kLock)                                                               \
    X(pthread_cond_signal, kLock)                                                                  \
    X(pthread_cond_broadcast, kLock)                                                               \
    X(pthread_once, kLock)                                                                         \
    X(pthread_join, kLock)                                                                         \
    X(pthread_create, kLock)                                                                       \
    X(sem_wait, kLock)                                                                             \
    X(sem_timedwait, kLock)                                                                        \
    X(sem_trywait, kLock)                                                                          \
    X(sem_post, kLock)                                                                             \
    X(write, kSystemCall)                                                                          \
    X(writev, kSystemCall)                                                                         \
    X(pwrite, kSystemCall)                                                                         \
    X(read, kSystemCall)                                                                           \
    X(readv, kSystemCall)                                                                          \
    X(pread, kSystemCall)                                                                          \
    X(open, kSystemCall)                                                                           \
    X(open64, kSystemCall)                                                                         \
    X(openat, kSystemCall)                                                                         \
    X(creat, kSystemCall)                                                                          \
    X(close, kSystemCall)                                                                          \
    X(stat, kSystemCall)                                                                           \
    X(lstat, kSystemCall)                                                                          \
    X(fstat, kSystemCall)                                                                          \
    X(access, kSystemCall)                                                                         \
    X(fopen, kSystemCall)                                                                          \
    X(fopen64, kSystemCall)                                                                        \
    X(fdopen, kSystemCall)                                                                         \
    X(freopen, kSystemCall)                                                                        \
    X(fclose, kSystemCall)                                                                         \
    X(fread, kSystemCall)                                                                          \
    X(fwrite, kSystemCall)                                                                         \
    X(fflush, kSystemCall)                                                                         \
    X(fgets, kSystemCall)                                                                          \
    X(getc, kSystemCall)                                                                           \
    X(fgetc, kSystemCall)                                                                          \
    X(fputs, kSystemCall)                                                                          \
    X(fputc, kSystemCall)                                                                          \
    X(puts, kSystemCall)                                                                           \
    X(fprintf, kSystemCall)                                                                        \
    X(printf, kSystemCall)                                                                         \
    X(vfprintf, kSystemCall)                                                                       \
    X(vprintf, kSystemCall)                                                                        \
    X(perror, kSystemCall)                                                                         \
    X(opendir, kSystemCall)                                                                        \
    X(readdir, kSystemCall)                                                                        \
    X(closedir, kSystemCall)                                                                       \
    X(nanosleep, kSystemCall)                                                                      \
    X(clock_nanosleep, kSystemCall)                                                                \
    X(usleep, kSystemCall)                                                                         \
    X(sleep, kSystemCall)                                                                          \
    X(sched_yield, kSystemCall)                                                                    \
    X(poll, kSystemCall)                                                                           \
    X(ppoll, kSystemCall)                                                                          \
    X(select, kSystemCall)                                                                         \
    X(pselect, kSystemCall)                                                                        \
    X(epoll_wait, kSystemCall)                                                                     \
    X(ioctl, kSystemCall)                                                                          \
    X(syscall, kSystemCall)

enum Function {
#define RTPROBE_ENUM(name, kind) f_##name,
    RTPROBE_FUNCTIONS(RTPROBE_ENUM)
#undef RTPROBE_ENUM
        kNumFunctions
};

struct FunctionInfo {
    const char* name;   // the C symbol, or the C++ spelling for operator new and delete
    const char* symbol; // the symbol looked up to check interposition
    Kind kind;
};

const FunctionInfo kFunctions[kNumFunctions] = {
#define RTPROBE_INFO(name, kind) {#name, #name, kind},
    RTPROBE_FUNCTIONS(RTPROBE_INFO)
#undef RTPROBE_INFO
};

const char* displayName(int function) {
    switch (function) {
    case f_operator_new:
        return "operator new";
    case f_operator_new_array:
        return "operator new[]";
    case f_operator_delete:
        return "operator delete";
    case f_operator_delete_array:
        return "operator delete[]";
    default:
        return kFunctions[function].name;
    }
}

// Mangled names of the replaceable operators (the plain forms; the others are defined alike).
const char* interposedSymbol(int function) {
    switch (function) {
    case f_operator_new:
        return "_Znwm";
    case f_operator_new_array:
        return "_Znam";
    case f_operator_delete:
        return "_ZdlPv";
    case f_operator_delete_array:
        return "_ZdaPv";
    default:
        return kFunctions[function].symbol;
    }
}

constexpr int kMaxRecords = 16;
constexpr int kMaxFrames = 32;

struct Record {
    int function;
    int depth;
    void* frames[kMaxFrames];
};

// The probe's own state: it has to be global, because the replaced functions are.
struct ProbeState {
    std::atomic<long> calls[kNumFunctions];
    std::atomic<int> numRecords;
    Record records[kMaxRecords];
    std::atomic<void*> real[kNumFunctions];
};
ProbeState state;

// Initial-exec TLS of the executable: reading these never allocates.
thread_local bool tArmed = false;
thread_local bool tInside = false;

void note(Function function) {
    if (!tArmed || tInside) return;
    tInside = true;
    state.calls[function].fetch_add(1, std::memory_order_relaxed);
    const int slot = state.numRecords.fetch_add(1, std::memory_order_relaxed);
    if (slot < kMaxRecords) {
        Record& record = state.records[slot];
        record.function = function;
        record.depth = backtrace(record.frames, kMaxFrames);
    }
    tInside = false;
}

void* lookUp(Function function) {
    void* pointer = state.real[function].load(std::memory_order_relaxed);
    if (pointer == nullptr) {
        pointer = dlsym(RTLD_NEXT, kFunctions[function].symbol);
        // Nothing can be reported from here without calling a wrapped function.
        if (pointer == nullptr) std::abort();
        state.real[function].store(pointer, std::memory_order_relaxed);
    }
    return pointer;
}

template <typename F> F real(Function function) {
    return reinterpret_cast<F>(lookUp(function));
}

// Resolves every forwarder and loads the unwinder before any thread is armed.
__attribute__((constructor(101))) void prepare() {
    for (int f = 0; f < kNumFunctions; ++f) {
        const Kind kind = kFunctions[f].kind;
        if (kind == kAllocation && f != f_mmap && f != f_munmap && f != f_mremap) continue;
        lookUp(static_cast<Function>(f));
    }
    void* frames[4];
    backtrace(frames, 4);
}

std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr)
        output += buffer;
    pclose(pipe);
    return output;
}

// "function at file:line (module+0xoffset)" for one return address.
std::string describeFrame(void* address) {
    Dl_info info;
    std::memset(&info, 0, sizeof(info));
    // The return address points after the call; one byte back lies within it.
    void* const inside = static_cast<char*>(address) - 1;
    if (dladdr(inside, &info) == 0 || info.dli_fname == nullptr) {
        std::ostringstream text;
        text << address;
        return text.str();
    }
    const unsigned long offset =
        reinterpret_cast<unsigned long>(inside) - reinterpret_cast<unsigned long>(info.dli_fbase);
    std::ostringstream hex;
    hex << "0x" << std::hex << offset;
    std::string where = runCommand("addr2line -f -C -e '" + std::string(info.dli_fname) + "' " +
                                   hex.str() + " 2>/dev/null");
    for (char& c : where)
        if (c == '\n') c = ' ';
    while (!where.empty() && where.back() == ' ')
        where.pop_back();
    if (where.empty() || where.rfind("?? ", 0) == 0)
        where = info.dli_sname != nullptr ? info.dli_sname : "?";
    return where + " (" + info.dli_fname + "+" + hex.str() + ")";
}

} // namespace

const char* kindName(Kind kind) {
    switch (kind) {
    case kAllocation:
        return "heap allocations or releases";
    case kLock:
        return "locks, waits or thread operations";
    default:
        return "blocking or I/O system calls";
    }
}

void arm(bool on) {
    tArmed = on;
}

bool armed() {
    return tArmed;
}

Counts counts() {
    Counts result;
    for (int f = 0; f < kNumFunctions; ++f)
        result.calls[kFunctions[f].kind] += state.calls[f].load(std::memory_order_relaxed);
    return result;
}

long callsTo(const char* function) {
    for (int f = 0; f < kNumFunctions; ++f)
        if (std::strcmp(displayName(f), function) == 0)
            return state.calls[f].load(std::memory_order_relaxed);
    return 0;
}

void reset() {
    for (auto& calls : state.calls)
        calls.store(0, std::memory_order_relaxed);
    state.numRecords.store(0, std::memory_order_relaxed);
}

std::string describeRecordedCalls(int maxCalls) {
    std::ostringstream text;
    const int recorded = state.numRecords.load(std::memory_order_relaxed);
    for (int f = 0; f < kNumFunctions; ++f) {
        const long n = state.calls[f].load(std::memory_order_relaxed);
        if (n > 0) text << "  " << displayName(f) << ": " << n << "\n";
    }
    const int shown = recorded < kMaxRecords ? recorded : kMaxRecords;
    for (int r = 0; r < shown && r < maxCalls; ++r) {
        const Record& record = state.records[r];
        text << "  call " << r + 1 << ": " << displayName(record.function) << "\n";
        // Frame 0 is note(), frame 1 the wrapper; the caller follows.
        for (int i = 2; i < record.depth && i < 14; ++i)
            text << "    #" << i - 2 << " " << describeFrame(record.frames[i]) << "\n";
    }
    return text.str();
}

std::string functionsNotInterposed() {
    std::string missing;
    for (int f = 0; f < kNumFunctions; ++f) {
        void* global = dlsym(RTLD_DEFAULT, interposedSymbol(f));
        void* next = dlsym(RTLD_NEXT, interposedSymbol(f));
        // Interposed when the global lookup finds this executable's definition, not the C or C++
        // library's that comes next.
        if (global == nullptr || global == next) {
            if (!missing.empty()) missing += ", ";
            missing += displayName(f);
        }
    }
    return missing;
}

} // namespace rtprobe

using rtprobe::note;
using rtprobe::real;
namespace rp = rtprobe;

// ---- Allocation ---------------------------------------------------------------------------------

extern "C" {

void* malloc(size_t size) {
    note(rp::f_malloc);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    note(rp::f_calloc);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    note(rp::f_realloc);
    return __libc_realloc(pointer, size);
}
void* reallocarray(void* pointer, size_t count, size_t size) {
    note(rp::f_reallocarray);
    if (size != 0 && count > static_cast<size_t>(-1) / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_realloc(pointer, count * size);
}
void free(void* pointer) {
    note(rp::f_free);
    __libc_free(pointer);
}
void* memalign(size_t alignment, size_t size) {
    note(rp::f_memalign);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, size_t alignment, size_t size) {
    note(rp::f_posix_memalign);
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) return ENOMEM;
    *result = pointer;
    return 0;
}
void* aligned_alloc(size_t alignment, size_t size) {
    note(rp::f_aligned_alloc);
    return __libc_memalign(alignment, size);
}
void* valloc(size_t size) {
    note(rp::f_valloc);
    return __libc_valloc(size);
}
void* pvalloc(size_t size) {
    note(rp::f_pvalloc);
    return __libc_pvalloc(size);
}
void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    note(rp::f_mmap);
    return real<decltype(&mmap)>(rp::f_mmap)(address, length, protection, flags, fd, offset);
}
int munmap(void* address, size_t length) {
    note(rp::f_munmap);
    return real<decltype(&munmap)>(rp::f_munmap)(address, length);
}
void* mremap(void* address, size_t oldSize, size_t newSize, int flags, ...) {
    note(rp::f_mremap);
    va_list args;
    va_start(args, flags);
    void* newAddress = va_arg(args, void*);
    va_end(args);
    using F = void* (*)(void*, size_t, size_t, int, ...);
    return real<F>(rp::f_mremap)(address, oldSize, newSize, flags, newAddress);
}

} // extern "C"

namespace {
void* allocate(size_t size) {
    void* pointer = __libc_malloc(size != 0 ? size : 1);
    // A test binary out of memory has nothing better to do.
    if (pointer == nullptr) std::abort();
    return pointer;
}
void* allocateAligned(size_t size, std::align_val_t alignment) {
    void* pointer = __libc_memalign(static_cast<size_t>(alignment), size != 0 ? size : 1);
    if (pointer == nullptr) std::abort();
    return pointer;
}
} // namespace

void* operator new(size_t size) {
    note(rp::f_operator_new);
    return allocate(size);
}
void* operator new[](size_t size) {
    note(rp::f_operator_new_array);
    return allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    note(rp::f_operator_new);
    return __libc_malloc(size != 0 ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    note(rp::f_operator_new_array);
    return __libc_malloc(size != 0 ? size : 1);
}
void* operator new(size_t size, std::align_val_t alignment) {
    note(rp::f_operator_new);
    return allocateAligned(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
    note(rp::f_operator_new_array);
    return allocateAligned(size, alignment);
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    note(rp::f_operator_new);
    return __libc_memalign(static_cast<size_t>(alignment), size != 0 ? size : 1);
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    note(rp::f_operator_new_array);
    return __libc_memalign(static_cast<size_t>(alignment), size != 0 ? size : 1);
}
void operator delete(void* pointer) noexcept {
    note(rp::f_operator_delete);
    __libc_free(pointer);
}
void operator delete[](void* pointer) noexcept {
    note(rp::f_operator_delete_array);
    __libc_free(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    note(rp::f_operator_delete);
    __libc_free(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    note(rp::f_operator_delete_array);
    __libc_free(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    note(rp::f_operator_delete);
    __libc_free(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    note(rp::f_operator_delete_array);
    __libc_free(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    note(rp::f_operator_delete);
    __libc_free(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    note(rp::f_operator_delete_array);
    __libc_free(pointer);
}
void operator delete(void* pointer, size_t, std::align_val_t) noexcept {
    note(rp::f_operator_delete);
    __libc_free(pointer);
}
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept {
    note(rp::f_operator_delete_array);
    __libc_free(pointer);
}
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    note(rp::f_operator_delete);
    __libc_free(pointer);
}
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    note(rp::f_operator_delete_array);
    __libc_free(pointer);
}

// ---- Locks, waits and threads -------------------------------------------------------------------

// A wrapper that counts and forwards all its arguments unchanged.
#define RTPROBE_FORWARD(ret, name, params, args)                                                   \
    ret name params {                                                                              \
        note(rp::f_##name);                                                                        \
        return real<decltype(&::name)>(rp::f_##name) args;                                         \
    }

extern "C" {

RTPROBE_FORWARD(int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
RTPROBE_FORWARD(int, pthread_mutex_trylock, (pthread_mutex_t * m), (m))
RTPROBE_FORWARD(int, pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec* t),
                (m, t))
RTPROBE_FORWARD(int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
RTPROBE_FORWARD(int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
RTPROBE_FORWARD(int, pthread_rwlock_tryrdlock, (pthread_rwlock_t * l), (l))
RTPROBE_FORWARD(int, pthread_rwlock_trywrlock, (pthread_rwlock_t * l), (l))
RTPROBE_FORWARD(int, pthread_spin_lock, (pthread_spinlock_t * l), (l))
RTPROBE_FORWARD(int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
RTPROBE_FORWARD(int, pthread_cond_timedwait,
                (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t))
RTPROBE_FORWARD(int, pthread_cond_signal, (pthread_cond_t * c), (c))
RTPROBE_FORWARD(int, pthread_cond_broadcast, (pthread_cond_t * c), (c))
RTPROBE_FORWARD(int, pthread_once, (pthread_once_t * o, void (*f)()), (o, f))
RTPROBE_FORWARD(int, pthread_join, (pthread_t t, void** r), (t, r))
RTPROBE_FORWARD(int, pthread_create,
                (pthread_t * t, const pthread_attr_t* a, void* (*f)(void*), void* p), (t, a, f, p))
RTPROBE_FORWARD(int, sem_wait, (sem_t * s), (s))
RTPROBE_FORWARD(int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t))
RTPROBE_FORWARD(int, sem_trywait, (sem_t * s), (s))
RTPROBE_FORWARD(int, sem_post, (sem_t * s), (s))

// ---- I/O, file system, sleeping and polling
// ------------------------------------------------------

RTPROBE_FORWARD(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n))
RTPROBE_FORWARD(ssize_t, writev, (int fd, const struct iovec* v, int n), (fd, v, n))
RTPROBE_FORWARD(ssize_t, pwrite, (int fd, const void* b, size_t n, off_t o), (fd, b, n, o))
RTPROBE_FORWARD(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n))
RTPROBE_FORWARD(ssize_t, readv, (int fd, const struct iovec* v, int n), (fd, v, n))
RTPROBE_FORWARD(ssize_t, pread, (int fd, void* b, size_t n, off_t o), (fd, b, n, o))
RTPROBE_FORWARD(int, creat, (const char* p, mode_t m), (p, m))
RTPROBE_FORWARD(int, close, (int fd), (fd))
RTPROBE_FORWARD(int, stat, (const char* p, struct stat* s), (p, s))
RTPROBE_FORWARD(int, lstat, (const char* p, struct stat* s), (p, s))
RTPROBE_FORWARD(int, fstat, (int fd, struct stat* s), (fd, s))
RTPROBE_FORWARD(int, access, (const char* p, int m), (p, m))
RTPROBE_FORWARD(FILE*, fopen, (const char* p, const char* m), (p, m))
RTPROBE_FORWARD(FILE*, fopen64, (const char* p, const char* m), (p, m))
RTPROBE_FORWARD(FILE*, fdopen, (int fd, const char* m), (fd, m))
RTPROBE_FORWARD(FILE*, freopen, (const char* p, const char* m, FILE* f), (p, m, f))
RTPROBE_FORWARD(int, fclose, (FILE * f), (f))
RTPROBE_FORWARD(size_t, fread, (void* b, size_t s, size_t n, FILE* f), (b, s, n, f))
RTPROBE_FORWARD(size_t, fwrite, (const void* b, size_t s, size_t n, FILE* f), (b, s, n, f))
RTPROBE_FORWARD(int, fflush, (FILE * f), (f))
RTPROBE_FORWARD(char*, fgets, (char* b, int n, FILE* f), (b, n, f))
RTPROBE_FORWARD(int, getc, (FILE * f), (f))
RTPROBE_FORWARD(int, fgetc, (FILE * f), (f))
RTPROBE_FORWARD(int, fputs, (const char* s, FILE* f), (s, f))
RTPROBE_FORWARD(int, fputc, (int c, FILE* f), (c, f))
RTPROBE_FORWARD(int, puts, (const char* s), (s))
RTPROBE_FORWARD(int, vfprintf, (FILE * f, const char* format, va_list a), (f, format, a))
RTPROBE_FORWARD(int, vprintf, (const char* format, va_list a), (format, a))
RTPROBE_FORWARD(void, perror, (const char* s), (s))
RTPROBE_FORWARD(DIR*, opendir, (const char* p), (p))
RTPROBE_FORWARD(struct dirent*, readdir, (DIR * d), (d))
RTPROBE_FORWARD(int, closedir, (DIR * d), (d))
RTPROBE_FORWARD(int, nanosleep, (const struct timespec* t, struct timespec* r), (t, r))
RTPROBE_FORWARD(int, clock_nanosleep,
                (clockid_t c, int f, const struct timespec* t, struct timespec* r), (c, f, t, r))
RTPROBE_FORWARD(int, usleep, (useconds_t u), (u))
RTPROBE_FORWARD(unsigned int, sleep, (unsigned int s), (s))
RTPROBE_FORWARD(int, sched_yield, (), ())
RTPROBE_FORWARD(int, poll, (struct pollfd * p, nfds_t n, int t), (p, n, t))
RTPROBE_FORWARD(int, ppoll,
                (struct pollfd * p, nfds_t n, const struct timespec* t, const sigset_t* s),
                (p, n, t, s))
RTPROBE_FORWARD(int, select, (int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* t),
                (n, r, w, e, t))
RTPROBE_FORWARD(int, pselect,
                (int n, fd_set* r, fd_set* w, fd_set* e, const struct timespec* t,
                 const sigset_t* s),
                (n, r, w, e, t, s))
RTPROBE_FORWARD(int, epoll_wait, (int fd, struct epoll_event* e, int n, int t), (fd, e, n, t))

// The variadic ones read their optional arguments and pass them on.
int open(const char* path, int flags, ...) {
    note(rp::f_open);
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    return real<int (*)(const char*, int, ...)>(rp::f_open)(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
    note(rp::f_open64);
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    return real<int (*)(const char*, int, ...)>(rp::f_open64)(path, flags, mode);
}
int openat(int directory, const char* path, int flags, ...) {
    note(rp::f_openat);
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    return real<int (*)(int, const char*, int, ...)>(rp::f_openat)(directory, path, flags, mode);
}
int fprintf(FILE* file, const char* format, ...) {
    note(rp::f_fprintf);
    va_list args;
    va_start(args, format);
    const int result = real<decltype(&::vfprintf)>(rp::f_vfprintf)(file, format, args);
    va_end(args);
    return result;
}
int printf(const char* format, ...) {
    note(rp::f_printf);
    va_list args;
    va_start(args, format);
    const int result = real<decltype(&::vprintf)>(rp::f_vprintf)(format, args);
    va_end(args);
    return result;
}
int ioctl(int fd, unsigned long request, ...) {
    note(rp::f_ioctl);
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    return real<int (*)(int, unsigned long, ...)>(rp::f_ioctl)(fd, request, argument);
}
long syscall(long number, ...) {
    note(rp::f_syscall);
    va_list args;
    va_start(args, number);
    long a[6];
    for (long& value : a)
        value = va_arg(args, long);
    va_end(args);
    return real<long (*)(long, ...)>(rp::f_syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

} // extern "C"

#pragma GCC visibility pop
