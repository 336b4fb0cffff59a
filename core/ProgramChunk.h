#pragma once

#include "params/XeTetraProgram.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The plug-in's state as a host keeps it for us (a VST chunk): the whole bank or one program, in
// a byte format of our own. This is the one place that writes and reads it.
//
// Every number is little-endian; every value an IEEE 754 single.
//
//   offset  size   field
//   0       4      magic "XeTC"
//   4       4      format version (kVersion; 1 is the first)
//   8       4      kind: 0 the bank, 1 one program
//   12      4      program count P: 8 in a bank, 1 in a program chunk
//   16      4      current program, 0..7 (a program chunk: the program it was taken from)
//   20      4      values per program V (kNumParams when written)
//   24             P programs, each:
//                    4      name length N, 0..23
//                    N      the name, no terminator, no NUL byte
//                    4 * V  the parameter values by program slot (AXeTetraProgram's order)
//                    4      set-name length S, 0..83
//                    S      name of the post-matrix set that slot 1 selects: the calibration's
//                           name, or "None", "1.47cm", "2.3cm"; empty when the value names no set
//   end            nothing follows the last program
//
// Set numbers follow the order in which a directory lists its calibration files, which may change
// between sessions; the set's name is what identifies it. The reader finds the set by that name
// (the stored number first, when the set there still has the name).
//
// Slots 6 (Display VU) and 8 (Calibration) are settings of the instance, which selecting a
// program leaves alone. The entry of the current program carries the instance's own values there;
// a bank restores them, a single program does not (as selecting it would not).
//
// Compatibility: parameters added later take the next slots, and V says how many a chunk holds.
// A chunk with fewer values than the reader knows leaves the missing slots at the defaults of a
// new program, so adding parameters needs no new version. A chunk with more values than the
// reader knows, or of a version above its own, comes from a newer plug-in and is refused. Any
// other change to the layout takes the next version number, and the reader keeps reading every
// earlier version (see read()).
class CProgramChunk {
public:
    enum Kind { kBank = 0, kProgram = 1 };

    static constexpr uint8_t kMagic[4] = {'X', 'e', 'T', 'C'};
    static constexpr uint32_t kVersion = 1;
    // Values per program that version 1 was first written with; no version-1 chunk holds fewer.
    static constexpr uint32_t kVersion1Values = 46;
    static constexpr int kMaxSetNameLength = 83;

    struct CEntry {
        // The name and values; slots the chunk does not hold keep a new program's defaults.
        AXeTetraProgram program;
        std::string postMatrixSet;
    };

    Kind kind = kBank;
    int currentProgram = 0;
    std::vector<CEntry> entries;

    // Encodes the chunk into `bytes`, replacing what it held. A non-finite value is written as 0,
    // the value a host would have been shown for it.
    void write(std::vector<uint8_t>& bytes) const;

    // Decodes size bytes of a chunk. A chunk that is not whole and sound is refused: false, with
    // `error` saying why in words for the user, and this object unchanged.
    bool read(const void* data, size_t size, std::string& error);
};
