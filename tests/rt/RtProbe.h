#pragma once

// Counts what the calling thread does while it is armed: heap allocations and releases, lock and
// wait operations, and blocking or I/O system calls. The test executable defines the C and C++
// allocation functions and wraps the other calls (forwarding to the C library), and exports them
// (-rdynamic), so a shared object loaded with dlopen binds to them too. Only calls made through a
// symbol are seen: what the C library does internally, without going through its own exported
// symbols, is not.

#include <string>

namespace rtprobe {

enum Kind { kAllocation, kLock, kSystemCall, kNumKinds };

const char* kindName(Kind kind);

struct Counts {
    long calls[kNumKinds] = {};
    long total() const { return calls[kAllocation] + calls[kLock] + calls[kSystemCall]; }
};

// Arms or disarms counting for the calling thread only.
void arm(bool on);
bool armed();

// Calls counted since the last reset, by kind, from every armed thread.
Counts counts();
// Calls to one function by name ("malloc", "write", ...) since the last reset.
long callsTo(const char* function);
void reset();

// The first calls since the last reset, each with its call stack, symbolised with addr2line
// where it can be (call only while disarmed: it allocates and runs a program).
std::string describeRecordedCalls(int maxCalls = 8);

// Names of the wrapped functions whose global symbol does not resolve to this executable's
// definition (a shared object would bypass those); empty when interposition works.
std::string functionsNotInterposed();

} // namespace rtprobe
