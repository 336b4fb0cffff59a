#include "core/XeTetra.h"

#include "dsp/CoincidenceFilter.h"
#include "dsp/Filter.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/LFFilter.h"
#include "dsp/MitRegFilter.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {
constexpr VstInt32 kUniqueIdXeT = 0x00586554; // 'XeT'
const char kEffectName[] = "Xerio Kalen Ambrel";
const char kVendorName[] = "XeAudio";

// Flush-to-zero and denormals-are-zero for the duration of one audio call: recursive filters
// decaying into the subnormal range would otherwise cost time on hosts that leave it off. The
// caller's mode is restored on return.
class CDenormalGuard {
public:
    CDenormalGuard() {
#if defined(__SSE__)
        saved = _mm_getcsr();
        _mm_setcsr(saved | 0x8040);
#endif
    }
    ~CDenormalGuard() {
#if defined(__SSE__)
        _mm_setcsr(saved);
#endif
    }

private:
#if defined(__SSE__)
    unsigned int saved = 0;
#endif
};

const char* yesNo(float value) {
    return parm2bool(value) ? "Yes" : "No";
}
} // namespace

AXeTetra::AXeTetra(audioMasterCallback audioMaster)
    : AXeTetra(audioMaster, CCalibrationPaths::defaults()) {}

AXeTetra::AXeTetra(audioMasterCallback audioMaster, const CCalibrationPaths& paths)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams),
      programs(new AXeTetraProgram[kNumPrograms]), capCompFilter(0), coincidenceFilter(0),
      lfCutFreq(20.0f), lfBoostFreq(20.0f), lfEnabled(false), viewMode(0), displayVu(false),
      locked(false), calibration(false), eqsEnabled(false), eqsLinked(false), gainsLinked(false),
      abMatrixEnabled(true), currentCapsule(0), numPreMatrixSets(0), numPostMatrixSets(0),
      calibrationPaths(paths), constructed(false) {
    CMessageSinkScope messages(this);
    for (int c = 0; c < 4; ++c) {
        for (int k = 0; k < 4; ++k)
            capGains[c][k] = 0.0f;
        eqFreq[c] = 20.0f;
        eqWidth[c] = 0.0f;
        eqGain[c] = 0.0f;
        outGains[c] = 0.0f;
        lfFilters[c] = nullptr;
        eqFilters[c] = nullptr;
    }
    for (float& value : curValues)
        value = 0.0f;
    for (int set = 0; set < kMaxFilterSets; ++set)
        for (int k = 0; k < 4; ++k) {
            preMatrixFilters[set][k] = nullptr;
            postMatrixFilters[set][k] = nullptr;
        }

    initFilters();
    initPrograms();
    setProgram(0);

    setNumInputs(4);
    setNumOutputs(4);
    canProcessReplacing(true);
    setUniqueID(kUniqueIdXeT);
    constructed = true;
}

AXeTetra::~AXeTetra() {
    delete[] programs;
    for (int c = 0; c < 4; ++c) {
        delete lfFilters[c];
        delete eqFilters[c];
    }
    for (int set = 0; set < kMaxFilterSets; ++set)
        for (int k = 0; k < 4; ++k) {
            delete preMatrixFilters[set][k];
            delete postMatrixFilters[set][k];
        }
}

void AXeTetra::initFilters() {
    for (int c = 0; c < 4; ++c)
        lfFilters[c] = new CLFFilter(lfCutFreq, lfBoostFreq);
    for (int c = 0; c < 4; ++c)
        eqFilters[c] = new CMitRegFilter();
    numPreMatrixSets = 1;
    numPostMatrixSets = 1;
    for (int k = 0; k < 4; ++k) {
        preMatrixFilters[0][k] = new CFilter();
        preMatrixFilters[0][k]->setName("None");
        postMatrixFilters[0][k] = new CFilter();
        postMatrixFilters[0][k]->setName("None");
    }
    static const struct {
        float spacing;
        const char* name;
    } coincidenceSets[] = {{1.47f, "1.47cm"}, {2.3f, "2.3cm"}};
    for (const auto& set : coincidenceSets) {
        CFilter** filters = postMatrixFilters[numPostMatrixSets];
        filters[0] = new CCoincidenceFilter(0, set.spacing, 1.0f);
        filters[0]->setName(set.name);
        for (int k = 1; k < 4; ++k)
            filters[k] = new CCoincidenceFilter(1, set.spacing, 1.0f);
        ++numPostMatrixSets;
    }
}

void AXeTetra::initPrograms() {
    for (int i = 0; i < kNumPrograms; ++i) {
        char name[AXeTetraProgram::kNameSize];
        std::snprintf(name, sizeof(name), "User %d", i);
        programs[i].setName(name);
        programs[i].values[kSlotLFCutFreq] = 1.0f;
    }

    AXeTetraProgram& uncalibrated = programs[0];
    uncalibrated.setName("Ambrel - uncalibrated");
    uncalibrated.values[kSlotLFEnabled] = 1.0f;
    uncalibrated.values[kSlotLFCutFreq] = lowfreq2parm(25.0f);
    uncalibrated.values[kSlotLFBoostFreq] = lowfreq2parm(150.0f);
    uncalibrated.values[kSlotOutputGainBase + 0] = plusMinus152parm(-8.0f);
    uncalibrated.values[kSlotPostMatrixFilter] = filter2parm(2);

    AXeTetraProgram& spacing147 = programs[1];
    spacing147.setName("1.47cm");
    spacing147.values[kSlotLFEnabled] = 1.0f;
    spacing147.values[kSlotLFCutFreq] = lowfreq2parm(30.0f);
    spacing147.values[kSlotLFBoostFreq] = lowfreq2parm(50.0f);
    spacing147.values[kSlotOutputGainBase + 0] = plusMinus152parm(-4.77f);
    spacing147.values[kSlotPostMatrixFilter] = filter2parm(1);

    numPrograms = 2;
    if (CalibrationsDirectoryExists()) {
        ReadCalibrations();
        ReadTetraProcCalibrations();
    }
    numPrograms = kNumPrograms;
    cEffect.numPrograms = kNumPrograms;
}

AXeTetraProgram* AXeTetra::claimProgram() {
    if (numPrograms >= kNumPrograms) return nullptr;
    return &programs[numPrograms++];
}

void AXeTetra::postMessage(const char* message) {
    getNoticeQueue()->post(message);
}

void AXeTetra::suspend() {}

void AXeTetra::setSampleRate(float rate) {
    // A host's rate that no filter can be designed for changes nothing.
    if (!std::isfinite(rate) || rate <= 0.0f) return;
    CMessageSinkScope messages(this);
    sampleRate = rate;
    for (int c = 0; c < 4; ++c) {
        lfFilters[c]->setSamplingRate(rate);
        lfFilters[c]->clearBuffers();
        eqFilters[c]->setSamplingRate(rate);
        eqFilters[c]->clearBuffers();
    }
    // coincidenceFilter always names an existing set.
    prepareSet(postMatrixFilters[coincidenceFilter]);
}

void AXeTetra::SetCapCompFilter(short n) {
    if (n < 0 || n >= kMaxFilterSets || preMatrixFilters[n][0] == nullptr || n == capCompFilter)
        return;
    prepareSet(preMatrixFilters[n]);
    capCompFilter = n;
}

void AXeTetra::prepareSet(CFilter* const (&set)[4]) {
    for (CFilter* filter : set) {
        if (filter == nullptr) continue;
        filter->setSamplingRate(sampleRate);
        filter->clearBuffers();
    }
}

void AXeTetra::SetCoincidenceFilter(short n) {
    if (n < 0 || n >= kMaxFilterSets || postMatrixFilters[n][0] == nullptr ||
        n == coincidenceFilter)
        return;
    CMessageSinkScope messages(this);
    // The set is made ready before it is selected: a block starting meanwhile on the audio
    // thread still runs the old set rather than one half reconfigured.
    prepareSet(postMatrixFilters[n]);
    coincidenceFilter = n;
    updateLatency();
}

long AXeTetra::GetPostMatrixLatency() const {
    // Set 0 never runs; any other set delays by its slowest channel.
    if (coincidenceFilter <= 0) return 0;
    long latency = 0;
    for (const CFilter* filter : postMatrixFilters[coincidenceFilter])
        if (filter != nullptr && filter->getLatency() > latency) latency = filter->getLatency();
    return latency;
}

const char* AXeTetra::GetPostMatrixSetName(int n) const {
    if (n < 0 || n >= kMaxFilterSets || postMatrixFilters[n][0] == nullptr) return nullptr;
    return postMatrixFilters[n][0]->getName();
}

void AXeTetra::updateLatency() {
    const VstInt32 latency = static_cast<VstInt32>(GetPostMatrixLatency());
    if (latency == getInitialDelay()) return;
    setInitialDelay(latency);
    if (constructed) ioChanged();
}

void AXeTetra::storeValue(int slot, float value) {
    programs[curProgram].values[slot] = value;
    curValues[slot] = value;
}

void AXeTetra::applyCapsuleValue(int capsule, int offset, float value) {
    switch (offset) {
    case kCapEQFreq:
        eqFreq[capsule] = oneMAXFREQConvert(value);
        break;
    case kCapEQWidth:
        eqWidth[capsule] = parm2width(value);
        break;
    case kCapEQGain:
        eqGain[capsule] = parm2PlusMinus15(value);
        break;
    default:
        capGains[capsule][offset - kCapOutGain] = parm2PlusMinus12(value);
        break;
    }
}

namespace {
short toShort(int value) {
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return static_cast<short>(value);
}
} // namespace

void AXeTetra::setParameter(VstInt32 index, float value) {
    const int slot = parameterSlot(index);
    // Non-finite values from a host are refused: nothing downstream could make sense of them.
    if (slot < 0 || !std::isfinite(value)) return;

    if (index >= kCapsuleBase && index < kOutputGainBase) {
        const int capsule = (index - kCapsuleBase) / kParamsPerCapsule;
        const int offset = (index - kCapsuleBase) % kParamsPerCapsule;
        storeValue(slot, value);
        applyCapsuleValue(capsule, offset, value);
        if (eqsLinked && offset <= kCapEQGain) {
            for (int c = 0; c < 4; ++c) {
                storeValue(parameterSlot(kCapsuleBase + kParamsPerCapsule * c + offset), value);
                applyCapsuleValue(c, offset, value);
            }
        } else if (gainsLinked && offset >= kCapOutGain) {
            for (int k = 0; k < 4; ++k) {
                storeValue(kSlotCapGainBase + 4 * capsule + k, value);
                capGains[capsule][k] = parm2PlusMinus12(value);
            }
        }
        return;
    }

    storeValue(slot, value);
    if (index >= kOutputGainBase) {
        outGains[index - kOutputGainBase] = parm2PlusMinus15(value);
        return;
    }
    switch (index) {
    case kLFEnabled:
        lfEnabled = parm2bool(value);
        break;
    case kLFCutFreq:
        lfCutFreq = oneLOWFREQConvert(value);
        break;
    case kLFBoostFreq:
        lfBoostFreq = oneLOWFREQConvert(value);
        break;
    case kLocked:
        locked = parm2bool(value);
        break;
    case kCalibration:
        calibration = parm2bool(value);
        break;
    case kPreMatrixFilter:
        SetCapCompFilter(static_cast<short>(oneMAXFILTERConvert(value)));
        break;
    case kPostMatrixFilter:
        SetCoincidenceFilter(static_cast<short>(oneMAXFILTERConvert(value)));
        break;
    case kEQsEnabled:
        eqsEnabled = parm2bool(value);
        break;
    case kEQsLinked:
        eqsLinked = parm2bool(value);
        break;
    case kGainsLinked:
        gainsLinked = parm2bool(value);
        break;
    case kABMatrixEnabled:
        abMatrixEnabled = parm2bool(value);
        break;
    case kCurrentCapsule:
        currentCapsule = toShort(oneMAXCAPConvert(value));
        break;
    case kViewMode:
        viewMode = toShort(oneMAXVIEWConvert(value));
        break;
    case kDisplayVU:
        displayVu = parm2bool(value);
        break;
    default:
        break;
    }
}

float AXeTetra::getParameter(VstInt32 index) {
    const int slot = parameterSlot(index);
    if (slot < 0) return 0.0f;
    // Calibration files may have stored anything; the host only ever sees a finite value.
    return std::isfinite(curValues[slot]) ? curValues[slot] : 0.0f;
}

void AXeTetra::setProgram(VstInt32 program) {
    if (program < 0 || program >= kNumPrograms) return;
    curProgram = program;
    const float* values = programs[program].values;
    // The filter-set selections first, then the switches and link flags, so that the links act
    // on the capsule values of the program being loaded.
    static const int order[][2] = {
        {kPreMatrixFilter, kSlotPreMatrixFilter},
        {kPostMatrixFilter, kSlotPostMatrixFilter},
        {kLFCutFreq, kSlotLFCutFreq},
        {kLFBoostFreq, kSlotLFBoostFreq},
        {kLFEnabled, kSlotLFEnabled},
        {kViewMode, kSlotViewMode},
        {kLocked, kSlotLocked},
        {kEQsEnabled, kSlotEQsEnabled},
        {kEQsLinked, kSlotEQsLinked},
        {kGainsLinked, kSlotGainsLinked},
        {kCurrentCapsule, kSlotCurrentCapsule},
        {kABMatrixEnabled, kSlotABMatrixEnabled},
    };
    for (const auto& entry : order)
        setParameter(entry[0], values[entry[1]]);
    for (int c = 0; c < 4; ++c) {
        const int base = kCapsuleBase + kParamsPerCapsule * c;
        setParameter(base + kCapEQFreq, values[kSlotEQFreqBase + c]);
        setParameter(base + kCapEQWidth, values[kSlotEQWidthBase + c]);
        setParameter(base + kCapEQGain, values[kSlotEQGainBase + c]);
        for (int k = 0; k < 4; ++k)
            setParameter(base + kCapOutGain + k, values[kSlotCapGainBase + 4 * c + k]);
    }
    for (int k = 0; k < 4; ++k)
        setParameter(kOutputGainBase + k, values[kSlotOutputGainBase + k]);
}

void AXeTetra::setProgramName(char* name) {
    if (name == nullptr) return;
    programs[curProgram].setName(name);
}

void AXeTetra::formatProgramName(int program, char* text) const {
    const char* name = programs[program].name;
    char formatted[AudioEffect::kScratchSize];
    if (std::strcmp(name, "Init") == 0)
        std::snprintf(formatted, sizeof(formatted), "%s %d", name, program + 1);
    else
        std::snprintf(formatted, sizeof(formatted), "%s", name);
    vst_strncpy(text, formatted, kVstMaxProgNameLen);
}

void AXeTetra::getProgramName(char* name) {
    if (name != nullptr) formatProgramName(curProgram, name);
}

bool AXeTetra::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms || text == nullptr) return false;
    formatProgramName(index, text);
    return true;
}

void AXeTetra::getParameterName(VstInt32 index, char* text) {
    if (text == nullptr || parameterSlot(index) < 0) return;
    static const char* const fixedNames[kCapsuleBase] = {
        "LF Enabled",
        "LF Cut Freq",
        "LF Boost Freq",
        "Locked",
        "Calibration",
        "PreMatrix Filter Number",
        "PostMatrix Filter Number",
        "EQs Enabled",
        "EQs Linked",
        "Gains Linked",
        "AB Matrix Enabled",
        "Current Capsule",
        "View Mode",
        "Display VU",
    };
    char name[AudioEffect::kScratchSize];
    if (index < kCapsuleBase) {
        std::snprintf(name, sizeof(name), "%s", fixedNames[index]);
    } else if (index >= kOutputGainBase) {
        std::snprintf(name, sizeof(name), "Output %d Gain", index - kOutputGainBase + 1);
    } else {
        const int capsule = (index - kCapsuleBase) / kParamsPerCapsule;
        const int offset = (index - kCapsuleBase) % kParamsPerCapsule;
        if (offset == kCapEQFreq)
            std::snprintf(name, sizeof(name), "Cap %d EQ Freq", capsule + 1);
        else if (offset == kCapEQWidth)
            std::snprintf(name, sizeof(name), "Cap %d EQ Width", capsule + 1);
        else if (offset == kCapEQGain)
            std::snprintf(name, sizeof(name), "Cap %d EQ Gain", capsule + 1);
        else
            std::snprintf(name, sizeof(name), "Cap %d Out %d Gain", capsule + 1,
                          offset - kCapOutGain + 1);
    }
    vst_strncpy(text, name, kVstMaxParamStrLen);
}

void AXeTetra::getParameterLabel(VstInt32 index, char* label) {
    if (label == nullptr || parameterSlot(index) < 0) return;
    const char* unit = "";
    if (index == kLFCutFreq || index == kLFBoostFreq) {
        unit = "Hz";
    } else if (index >= kOutputGainBase) {
        unit = "dB";
    } else if (index >= kCapsuleBase) {
        const int offset = (index - kCapsuleBase) % kParamsPerCapsule;
        unit = offset == kCapEQFreq ? "Hz" : offset == kCapEQWidth ? "Octaves" : "dB";
    }
    vst_strncpy(label, unit, kVstMaxParamStrLen);
}

void AXeTetra::getParameterDisplay(VstInt32 index, char* text) {
    const int slot = parameterSlot(index);
    if (text == nullptr || slot < 0) return;
    const float value = curValues[slot];
    // Extrapolated values can format to long texts; the scratch holds any of them and the copy
    // below bounds what reaches the caller.
    char display[AudioEffect::kScratchSize];
    display[0] = '\0';
    if (index >= kOutputGainBase) {
        std::snprintf(display, sizeof(display), "%5.1f", parm2PlusMinus15(value));
    } else if (index >= kCapsuleBase) {
        const int offset = (index - kCapsuleBase) % kParamsPerCapsule;
        float shown = parm2PlusMinus12(value);
        if (offset == kCapEQFreq)
            shown = oneMAXFREQConvert(value);
        else if (offset == kCapEQWidth)
            shown = parm2width(value);
        else if (offset == kCapEQGain)
            shown = parm2PlusMinus15(value);
        std::snprintf(display, sizeof(display), "%5.1f", shown);
    } else {
        switch (index) {
        case kLFCutFreq:
        case kLFBoostFreq:
            std::snprintf(display, sizeof(display), "%5.1f", oneLOWFREQConvert(value));
            break;
        case kPreMatrixFilter:
            std::snprintf(display, sizeof(display), "%s",
                          preMatrixFilters[capCompFilter][0]->getName());
            break;
        case kPostMatrixFilter:
            std::snprintf(display, sizeof(display), "%s",
                          postMatrixFilters[coincidenceFilter][0]->getName());
            break;
        case kCurrentCapsule:
            std::snprintf(display, sizeof(display), "%2d", oneMAXCAPConvert(value));
            break;
        case kViewMode:
            std::snprintf(display, sizeof(display), "%2d", oneMAXVIEWConvert(value));
            break;
        default:
            std::snprintf(display, sizeof(display), "%s", yesNo(value));
            break;
        }
    }
    vst_strncpy(text, display, kVstMaxParamStrLen);
}

bool AXeTetra::getEffectName(char* name) {
    vst_strncpy(name, kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool AXeTetra::getVendorString(char* text) {
    vst_strncpy(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool AXeTetra::getProductString(char* text) {
    vst_strncpy(text, kEffectName, kVstMaxProductStrLen);
    return true;
}

VstInt32 AXeTetra::getVendorVersion() {
    return 1800;
}

VstInt32 AXeTetra::getPlugCategory() {
    return kPlugSurroundFx;
}

void AXeTetra::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (outputs == nullptr) return;
    for (int k = 0; k < 4; ++k)
        if (outputs[k] == nullptr) return;
    const long n = sampleFrames > 0 ? sampleFrames : 0;
    CDenormalGuard denormals;
    CMessageSinkScope messages(this);

    // Copy sample by sample, reading all four inputs first, so that a host handing the same
    // buffer as input of one channel and output of another still gets the right result.
    float* const out0 = outputs[0];
    float* const out1 = outputs[1];
    float* const out2 = outputs[2];
    float* const out3 = outputs[3];
    const bool haveInputs = inputs != nullptr && inputs[0] != nullptr && inputs[1] != nullptr &&
                            inputs[2] != nullptr && inputs[3] != nullptr;
    for (long i = 0; i < n; ++i) {
        const float s0 = haveInputs ? inputs[0][i] : 0.0f;
        const float s1 = haveInputs ? inputs[1][i] : 0.0f;
        const float s2 = haveInputs ? inputs[2][i] : 0.0f;
        const float s3 = haveInputs ? inputs[3][i] : 0.0f;
        out0[i] = s0;
        out1[i] = s1;
        out2[i] = s2;
        out3[i] = s3;
    }

    if (lfEnabled) {
        const float cut = lfCutFreq, boost = lfBoostFreq;
        for (int c = 0; c < 4; ++c) {
            lfFilters[c]->setFreqs(cut, boost);
            lfFilters[c]->doFilter(outputs[c], n);
        }
    }
    if (eqsEnabled) {
        for (int c = 0; c < 4; ++c)
            eqFilters[c]->setParametersOctaves(eqFreq[c], eqWidth[c], eqGain[c]);
        // The four capsules in one pass, so that their recursions overlap.
        CMitRegFilter::doFilterParallel(eqFilters, outputs, 4, n);
    }
    if (abMatrixEnabled) {
        abMatrix.setGains4x4(capGains);
        abMatrix.setOutGains(outGains[0], outGains[1], outGains[2], outGains[3]);
        abMatrix.process(out0, out1, out2, out3, n);
    }
    const short set = coincidenceFilter;
    if (set > 0 && set < kMaxFilterSets) {
        for (int k = 0; k < 4; ++k)
            if (CFilter* filter = postMatrixFilters[set][k]) filter->doFilter(outputs[k], n);
    }

    // Extreme gains can overflow to infinity; the host never receives a non-finite sample.
    for (int k = 0; k < 4; ++k) {
        float* out = outputs[k];
        for (long i = 0; i < n; ++i)
            if (!std::isfinite(out[i])) out[i] = 0.0f;
    }
}
