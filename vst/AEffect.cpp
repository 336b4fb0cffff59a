#include "vst/AEffect.h"

#include <cstddef>

// The record is read by hosts compiled against the published layout; any drift is fatal.
static_assert(sizeof(void*) != 8 || sizeof(AEffect) == 192, "AEffect must be 192 bytes on 64 bit");
static_assert(sizeof(void*) != 8 || offsetof(AEffect, initialDelay) == 80, "AEffect layout");
static_assert(sizeof(void*) != 8 || offsetof(AEffect, future) == 136, "AEffect layout");
static_assert(sizeof(ERect) == 8, "ERect is four 16-bit values");

void vst_strncpy(char* destination, const char* source, int size) {
    if (destination == nullptr || size <= 0) return;
    int length = 0;
    // Reads the source only up to its terminator or size - 1 characters: a host's text need not
    // be terminated within the bytes we are allowed to look at.
    if (source != nullptr) {
        while (length < size - 1 && source[length] != '\0') {
            destination[length] = source[length];
            ++length;
        }
    }
    destination[length] = '\0';
}
