#pragma once

#include "params/ParameterNames.h"

// Parameter indices, program slots and the conversions between host values (0..1) and the
// engineering units the audio path reads.

enum {
    kLFEnabled = 0,
    kLFCutFreq = 1,
    kLFBoostFreq = 2,
    kLocked = 3,
    kCalibration = 4,
    kPreMatrixFilter = 5,
    kPostMatrixFilter = 6,
    kEQsEnabled = 7,
    kEQsLinked = 8,
    kGainsLinked = 9,
    kABMatrixEnabled = 10,
    kCurrentCapsule = 11,
    kViewMode = 12,
    kDisplayVU = 13,
    kCapsuleBase = 14, // seven parameters per capsule
    kOutputGainBase = 42,
    // Added after the first 46; they act after the post-matrix set.
    kOutputOrder = 46, // FuMa or ambiX
    kOrientation = 47, // how the microphone stood
    kInvertX = 48,     // then Y 49 and Z 50
    kNumParams = 51,
};

static_assert(kNumFixedParameters == kCapsuleBase, "a name for each parameter before the capsules");

constexpr int kNumPrograms = 8;
constexpr int kMaxFilterSets = 8;
constexpr int kParamsPerCapsule = 7;

// Offsets within a capsule's block of seven parameters.
enum { kCapEQFreq = 0, kCapEQWidth = 1, kCapEQGain = 2, kCapOutGain = 3 };

// Program slots of parameters that the calibration readers and factory programs fill directly.
enum {
    kSlotPreMatrixFilter = 0,
    kSlotPostMatrixFilter = 1,
    kSlotLFCutFreq = 2,
    kSlotLFBoostFreq = 3,
    kSlotLFEnabled = 4,
    kSlotViewMode = 5,
    kSlotDisplayVU = 6,
    kSlotLocked = 7,
    kSlotCalibration = 8,
    kSlotCapGainBase = 9, // + 4 * capsule + output
    kSlotEQFreqBase = 25, // + capsule
    kSlotEQWidthBase = 29,
    kSlotEQGainBase = 33,
    kSlotEQsEnabled = 37,
    kSlotEQsLinked = 38,
    kSlotGainsLinked = 39,
    kSlotOutputGainBase = 40, // + output
    kSlotABMatrixEnabled = 44,
    kSlotCurrentCapsule = 45,
    // Parameters added later take the next slots, in the order of their indices.
    kSlotOutputOrder = 46,
    kSlotOrientation = 47,
    kSlotInvertX = 48, // + axis
};

// The program slot of a parameter index, -1 for an index outside 0..kNumParams - 1.
int parameterSlot(int index);

float oneLOWFREQConvert(float p);
float lowfreq2parm(float hz);
float oneMAXFREQConvert(float p);
float freq2parm(float hz);
float parm2width(float p);
float width2parm(float octaves);
float parm2PlusMinus15(float p);
float plusMinus152parm(float dB);
float parm2PlusMinus12(float p);
float plusMinus122parm(float dB);
bool parm2bool(float p);
// Filter-set number 0..7; a value that converts to no number in range answers -1, which names
// no set (huge or non-finite values are never cast to an integer).
int oneMAXFILTERConvert(float p);
float filter2parm(int n);
int oneMAXVIEWConvert(float p);
float view2parm(int v);
int oneMAXCAPConvert(float p);
// Orientation 0..2 (upright, inverted, endfire): 2.0 p truncated, limited to the three.
int oneMAXORIENTATIONConvert(float p);
float orientation2parm(int orientation);
double hz2oct(double fc, double bw);
