#include "vst/AEffect.h"

#include <cstddef>

// The record is read by hosts compiled against the published layout; any drift is fatal.
static_assert(sizeof(void*) != 8 || sizeof(AEffect) == 192, "AEffect must be 192 bytes on 64 bit");
static_assert(sizeof(void*) != 8 || offsetof(AEffect, initialDelay) == 80, "AEffect layout");
static_assert(sizeof(void*) != 8 || offsetof(AEffect, future) == 136, "AEffect layout");
static_assert(sizeof(ERect) == 8, "ERect is four 16-bit values");
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties is 128 bytes");
static_assert(offsetof(VstPinProperties, shortLabel) == 72, "VstPinProperties layout");

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
    // Only a full field can have been cut.
    if (length == size - 1) length = utf8CompleteLength(destination, length);
    destination[length] = '\0';
}

int utf8CompleteLength(const char* text, int length) {
    int start = length;
    int continuation = 0;
    while (continuation < 3 && start > 0 &&
           (static_cast<unsigned char>(text[start - 1]) & 0xc0) == 0x80) {
        --start;
        ++continuation;
    }
    if (start == 0) return length;
    const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    const int needed = lead >= 0xf8   ? 0
                       : lead >= 0xf0 ? 4
                       : lead >= 0xe0 ? 3
                       : lead >= 0xc0 ? 2
                                      : 0;
    return needed > continuation + 1 ? start - 1 : length;
}
