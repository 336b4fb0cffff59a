#pragma once

// Counts what the calling thread does while it is armed: heap allocations and releases, lock and
// wait operations, and blocking or I/O system calls. The test executable defines the C allocation
// functions (the C++ operators of libstdc++ call them) and wraps the other calls, forwarding to
// the C library, and exports them, so a shared object loaded with dlopen binds to them too. Only
// calls made through a symbol are seen: what the C library does internally is not.

#include <string>

namespace rtprobe {

enum Kind { kAllocation, kLock, kSystemCall, kNumKinds };

struct Counts {
    long calls[kNumKinds] = {};
    long total() const { return calls[kAllocation] + calls[kLock] + calls[kSystemCall]; }
};

// Arms or disarms counting for the calling thread only.
void arm(bool on);
// Calls counted since the last reset, by kind, from every armed thread.
Counts counts();
void reset();
// How many calls were counted since the last reset, and the first function called.
std::string describeCalls();
// Wrapped functions whose global symbol is not this executable's (a shared object would bypass
// them); empty when interposition works.
std::string functionsNotInterposed();

} // namespace rtprobe
