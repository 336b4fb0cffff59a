#include "core/XeTetra.h"

#include "dsp/CoincidenceFilter.h"
#include "dsp/Filter.h"
#include "dsp/FilterCoefficients.h"
#include "dsp/IIRFilter.h"
#include "dsp/LFFilter.h"
#include "dsp/MitRegFilter.h"
#include "dsp/ParaEQ2Band.h"
#include "dsp/ParaEQ3Band.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <typeinfo>

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

// How the four-channel kernels run a filter of a post-matrix set.
enum class ChannelKind { kPass, kConvolver, kRecursive, kEqualiser };

ChannelKind kindOf(const CFilter* filter) {
    if (filter == nullptr || typeid(*filter) == typeid(CFilter)) return ChannelKind::kPass;
    if (dynamic_cast<const CFFTFilter*>(filter) != nullptr) return ChannelKind::kConvolver;
    if (dynamic_cast<const CParaEQ2Band*>(filter) != nullptr ||
        dynamic_cast<const CParaEQ3Band*>(filter) != nullptr ||
        dynamic_cast<const CMitRegFilter*>(filter) != nullptr)
        return ChannelKind::kEqualiser;
    // The composite LF filter keeps its sections to itself; no set holds one.
    if (dynamic_cast<const CLFFilter*>(filter) != nullptr) return ChannelKind::kPass;
    if (dynamic_cast<const CIIRFilter*>(filter) != nullptr) return ChannelKind::kRecursive;
    return ChannelKind::kPass;
}

void setBand(CQuadEQDesign::Band& band, int k, const CMitRegFilter& filter) {
    const CMitRegFilter::Lane lane = filter.lane();
    band.b0[k] = lane.b0;
    band.b1[k] = lane.b1;
    band.a1[k] = lane.a1;
    band.a2[k] = lane.a2;
    band.halfV[k] = lane.halfV;
}

bool sameBand(const CQuadEQDesign::Band& a, const CQuadEQDesign::Band& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <typename T> bool sameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
} // namespace

AXeTetra::CControlScope::CControlScope(AXeTetra& processor)
    : processor(processor), guard(processor.controlMutex), messages(&processor) {
    ++processor.controlDepth;
}

AXeTetra::CControlScope::~CControlScope() {
    if (--processor.controlDepth == 0 && processor.settingsDirty) processor.publishSettings();
}

AXeTetra::AXeTetra(audioMasterCallback audioMaster)
    : AXeTetra(audioMaster, CCalibrationPaths::defaults()) {}

AXeTetra::AXeTetra(audioMasterCallback audioMaster, const CCalibrationPaths& paths)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams),
      programs(new AXeTetraProgram[kNumPrograms]), capCompFilter(0), coincidenceFilter(0),
      lfCutFreq(20.0f), lfBoostFreq(20.0f), lfEnabled(false), viewMode(0), displayVu(false),
      locked(false), calibration(false), eqsEnabled(false), eqsLinked(false), gainsLinked(false),
      abMatrixEnabled(true), currentCapsule(0), numPreMatrixSets(0), numPostMatrixSets(0),
      calibrationPaths(paths), calibrationPlace(-1), constructed(false), controlDepth(0),
      settingsDirty(true), rateEpoch(0), chain(exchange) {
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
    for (CSharedValue& value : curValues)
        value = 0.0f;
    for (int set = 0; set < kMaxFilterSets; ++set)
        for (int k = 0; k < 4; ++k) {
            preMatrixFilters[set][k] = nullptr;
            postMatrixFilters[set][k] = nullptr;
        }

    initFilters();
    initPrograms();
    // The audio side gets the memory of every set now: it never allocates.
    for (int set = 1; set < numPostMatrixSets; ++set) {
        bool kinds[4] = {};
        for (const CFilter* filter : postMatrixFilters[set])
            kinds[static_cast<int>(kindOf(filter))] = true;
        chain.addSetMemory(set, kinds[static_cast<int>(ChannelKind::kConvolver)],
                           kinds[static_cast<int>(ChannelKind::kRecursive)],
                           kinds[static_cast<int>(ChannelKind::kEqualiser)]);
    }
    setProgram(0);

    setNumInputs(4);
    setNumOutputs(4);
    canProcessReplacing(true);
    programsAreChunks(true);
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
    for (int i = 0; i < kNumPrograms; ++i)
        programs[i] = AXeTetraProgram::user(i);

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

    // The calibrations take the programs after the two factory ones, each starting as the user
    // program it replaces, and post-matrix sets after the built-in ones.
    const std::vector<AXeTetraProgram> blanks(programs + 2, programs + kNumPrograms);
    const CCalibrationImport import =
        importCalibrations(calibrationPaths, blanks, numPostMatrixSets, kMaxFilterSets);
    for (const std::string& notice : import.notices.texts())
        MsgBoxf("%s", notice.c_str());
    calibrationPlace = import.place;
    for (size_t i = 0; i < import.calibrations.size(); ++i) {
        const CCalibration& calibration = import.calibrations[i];
        programs[2 + i] = calibration.program;
        calibrationSources[2 + i] = calibration.source;
        const int set = calibration.source.postMatrixSet;
        if (set > 0 && calibration.filterSet.kind != CFilterSetDescription::Kind::kNone) {
            addCalibrationSet(set, calibration.filterSet, calibration.source.name.c_str());
            numPostMatrixSets = static_cast<short>(set + 1);
        }
    }
    numPrograms = kNumPrograms;
    cEffect.numPrograms = kNumPrograms;
}

void AXeTetra::addCalibrationSet(int set, const CFilterSetDescription& description,
                                 const char* name) {
    CFilter** filters = postMatrixFilters[set];
    if (description.kind == CFilterSetDescription::Kind::kRecursive) {
        // One coefficient set for W, one shared by X, Y and Z; kept as long as the filters.
        coefficientSets.push_back(description.w);
        coefficientSets.push_back(description.velocity);
        for (int k = 0; k < 4; ++k) {
            CIIRFilter* filter = new CIIRFilter(1);
            filter->setCoefficients(k == 0 ? description.w.get() : description.velocity.get());
            filters[k] = filter;
        }
    } else {
        for (int k = 0; k < 4; ++k) {
            const CFilterSetDescription::CBands& b = description.channels[k];
            if (b.count == 3)
                filters[k] = new CParaEQ3Band(b.frequency[0], b.width[0], b.gainDb[0],
                                              b.frequency[1], b.width[1], b.gainDb[1],
                                              b.frequency[2], b.width[2], b.gainDb[2], b.outputDb);
            else if (b.count == 2)
                filters[k] = new CParaEQ2Band(b.frequency[0], b.width[0], b.gainDb[0],
                                              b.frequency[1], b.width[1], b.gainDb[1], b.outputDb);
            else
                filters[k] = new CFilter(); // no equaliser: the channel passes its signal
        }
    }
    for (int k = 0; k < 4; ++k)
        filters[k]->setName(name);
}

const CCalibrationPlace* AXeTetra::GetCalibrationPlace() const {
    if (calibrationPlace < 0) return nullptr;
    return &calibrationPaths.places[static_cast<size_t>(calibrationPlace)];
}

const CCalibrationSource* AXeTetra::GetCalibrationSource(int program) const {
    if (program < 0 || program >= kNumPrograms || calibrationSources[program].empty())
        return nullptr;
    return &calibrationSources[program];
}

void AXeTetra::postMessage(const char* message) {
    getNoticeQueue()->post(message);
}

void AXeTetra::suspend() {}

void AXeTetra::resume() {
    AudioEffectX::resume();
    // Whatever was set while the host was not playing applies at once at the next block.
    chain.restart();
}

void AXeTetra::setSampleRate(float rate) {
    // A host's rate that no filter can be designed for changes nothing.
    if (!std::isfinite(rate) || rate <= 0.0f) return;
    CControlScope scope(*this);
    sampleRate = rate;
    outputMeters.setSampleRate(rate);
    for (int c = 0; c < 4; ++c) {
        lfFilters[c]->setSamplingRate(rate);
        lfFilters[c]->clearBuffers();
        eqFilters[c]->setSamplingRate(rate);
        eqFilters[c]->clearBuffers();
    }
    // The chain starts from empty memory at the new rate; the selected set is designed for it
    // when the settings are handed over.
    ++rateEpoch;
    settingsDirty = true;
}

void AXeTetra::SetCapCompFilter(short n) {
    CControlScope scope(*this);
    if (n < 0 || n >= kMaxFilterSets || preMatrixFilters[n][0] == nullptr || n == capCompFilter)
        return;
    prepareSet(preMatrixFilters[n]);
    capCompFilter = n;
}

short AXeTetra::GetCapCompFilter() {
    CControlScope scope(*this);
    return capCompFilter;
}

short AXeTetra::GetCoincidenceFilter() {
    CControlScope scope(*this);
    return coincidenceFilter;
}

void AXeTetra::prepareSet(CFilter* const (&set)[4]) {
    for (CFilter* filter : set) {
        if (filter == nullptr) continue;
        filter->setSamplingRate(sampleRate);
        filter->clearBuffers();
    }
}

void AXeTetra::SetCoincidenceFilter(short n) {
    CControlScope scope(*this);
    if (n < 0 || n >= kMaxFilterSets || postMatrixFilters[n][0] == nullptr ||
        n == coincidenceFilter)
        return;
    // The set is designed for the current rate when the settings are handed over; the audio
    // side starts it from empty memory.
    coincidenceFilter = n;
    settingsDirty = true;
    updateLatency();
}

long AXeTetra::GetPostMatrixLatency() const {
    std::lock_guard<std::recursive_mutex> guard(controlMutex);
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
    CControlScope scope(*this);
    settingsDirty = true;

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
    if (index >= kOutputGainBase && index < kOutputOrder) {
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
        outputMeters.setEnabled(displayVu);
        break;
    case kOutputOrder: {
        const bool ambix = parm2bool(value);
        if (ambix == outputFormat.ambix) break;
        outputFormat.ambix = ambix;
        outputMeters.setACNOrder(ambix);
        // The outputs have new names: hosts that show them ask again when told of a change.
        if (constructed) ioChanged();
        break;
    }
    case kOrientation:
        outputFormat.orientation = oneMAXORIENTATIONConvert(value);
        break;
    case kInvertX:
    case kInvertX + 1:
    case kInvertX + 2:
        outputFormat.invert[index - kInvertX] = parm2bool(value);
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
    // One hand-over for the whole program: the audio side never sees it half applied.
    CControlScope scope(*this);
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
    for (int index = kOutputOrder; index < kNumParams; ++index)
        setParameter(index, values[parameterSlot(index)]);
}

VstInt32 AXeTetra::getProgram() {
    CControlScope scope(*this);
    return curProgram;
}

void AXeTetra::setProgramName(char* name) {
    if (name == nullptr) return;
    CControlScope scope(*this);
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
    if (name == nullptr) return;
    CControlScope scope(*this);
    formatProgramName(curProgram, name);
}

bool AXeTetra::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms || text == nullptr) return false;
    CControlScope scope(*this);
    formatProgramName(index, text);
    return true;
}

void AXeTetra::getParameterName(VstInt32 index, char* text) {
    if (text == nullptr || parameterSlot(index) < 0) return;
    static const char* const outputNames[kNumParams - kOutputOrder] = {
        "Output Order", "Orientation", "Invert X", "Invert Y", "Invert Z",
    };
    char name[AudioEffect::kScratchSize];
    if (index < kCapsuleBase) {
        std::snprintf(name, sizeof(name), "%s", kFixedParameterNames[index]);
    } else if (index >= kOutputOrder) {
        std::snprintf(name, sizeof(name), "%s", outputNames[index - kOutputOrder]);
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
    } else if (index >= kOutputOrder) {
        unit = "";
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
    CControlScope scope(*this);
    const float value = curValues[slot];
    // Extrapolated values can format to long texts; the scratch holds any of them and the copy
    // below bounds what reaches the caller.
    char display[AudioEffect::kScratchSize];
    display[0] = '\0';
    if (index == kOutputOrder) {
        std::snprintf(display, sizeof(display), "%s", COutputFormat::orderName(parm2bool(value)));
    } else if (index == kOrientation) {
        std::snprintf(display, sizeof(display), "%s",
                      COutputFormat::orientationName(oneMAXORIENTATIONConvert(value)));
    } else if (index > kOrientation) {
        std::snprintf(display, sizeof(display), "%s", parm2bool(value) ? "On" : "Off");
    } else if (index >= kOutputGainBase) {
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

COutputFormat AXeTetra::GetOutputFormat() const {
    std::lock_guard<std::recursive_mutex> guard(controlMutex);
    return outputFormat;
}

bool AXeTetra::getInputProperties(VstInt32 index, VstPinProperties* properties) {
    if (properties == nullptr || index < 0 || index > 3) return false;
    std::snprintf(properties->label, sizeof(properties->label), "Capsule %d", index + 1);
    std::snprintf(properties->shortLabel, sizeof(properties->shortLabel), "Cap %d", index + 1);
    properties->flags = kVstPinIsActive;
    return true;
}

bool AXeTetra::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (properties == nullptr || index < 0 || index > 3) return false;
    // Read from the stored value, without the control lock: a host may ask from within its
    // answer to ioChanged, on whatever thread it likes.
    COutputFormat format;
    format.ambix = parm2bool(curValues[kSlotOutputOrder]);
    std::snprintf(properties->label, sizeof(properties->label), "%s", format.outputName(index));
    std::snprintf(properties->shortLabel, sizeof(properties->shortLabel), "%s",
                  format.outputName(index));
    properties->flags = kVstPinIsActive;
    return true;
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
    CDenormalGuard denormals;
    chain.process(inputs, outputs, sampleFrames > 0 ? sampleFrames : 0);
    outputMeters.process(outputs, sampleFrames > 0 ? sampleFrames : 0);
}

void AXeTetra::publishSettings() {
    settingsDirty = false;
    CEngineSettings next = handedOver;
    next.rate = sampleRate;
    next.rateEpoch = rateEpoch;
    next.lfOn = lfEnabled;
    next.eqOn = eqsEnabled;
    next.matrixOn = abMatrixEnabled;
    designCapsuleStages(next);
    next.set = coincidenceFilter;
    next.setDesign = designSet(coincidenceFilter);
    next.output = outputFormat.map();

    // A stage is faded to its new settings only when what it does changed: a stage that is off
    // does nothing, whatever its parameters.
    const CEngineSettings& last = handedOver;
    if (next.lfOn != last.lfOn || (next.lfOn && !sameBytes(next.lf, last.lf))) ++next.lfStamp;
    if (next.eqOn != last.eqOn || (next.eqOn && !sameBand(next.eq.bands[0], last.eq.bands[0])))
        ++next.eqStamp;
    if (next.matrixOn != last.matrixOn || (next.matrixOn && !sameBytes(next.matrix, last.matrix)))
        ++next.matrixStamp;
    if (next.set != last.set || next.setDesign != last.setDesign) ++next.setStamp;
    if (!sameBytes(next.output, last.output)) ++next.outputStamp;

    handedOver = next;
    exchange.publish(handedOver);
    releaseRetiredDesigns();
}

void AXeTetra::designCapsuleStages(CEngineSettings& settings) {
    CQuadLFDesign& lf = settings.lf;
    for (int c = 0; c < 4; ++c) {
        CLFFilter& filter = *lfFilters[c];
        filter.setFreqs(lfCutFreq, lfBoostFreq);
        const CLowShelfFilter& shelf = filter.getShelf();
        lf.shelf[0][c] = shelf.getB(0);
        lf.shelf[1][c] = shelf.getB(1);
        lf.shelf[2][c] = shelf.getA(0);
        const CHPFilter2* sections[] = {&filter.getHighPass1(), &filter.getHighPass2()};
        float(*targets[])[4] = {lf.highPass1, lf.highPass2};
        for (int s = 0; s < 2; ++s) {
            for (int j = 0; j < 3; ++j)
                targets[s][j][c] = sections[s]->getB(j);
            targets[s][3][c] = sections[s]->getA(0);
            targets[s][4][c] = sections[s]->getA(1);
        }
    }

    CQuadEQDesign& eq = settings.eq;
    eq.numBands = 1;
    eq.useOutputGain = false;
    for (int c = 0; c < 4; ++c) {
        eqFilters[c]->setParametersOctaves(eqFreq[c], eqWidth[c], eqGain[c]);
        setBand(eq.bands[0], c, *eqFilters[c]);
        for (int b = 1; b < CQuadEQDesign::kMaxBands; ++b)
            CQuadEQDesign::setIdentity(eq.bands[b], c);
        eq.outputGain[c] = 1.0f;
    }

    abMatrix.setGains4x4(capGains);
    abMatrix.setOutGains(outGains[0], outGains[1], outGains[2], outGains[3]);
    settings.matrix = abMatrix.getFactors();
}

const CPostSetDesign* AXeTetra::designSet(int set) {
    if (set <= 0 || set >= kMaxFilterSets || postMatrixFilters[set][0] == nullptr) return nullptr;
    std::unique_ptr<CPostSetDesign>& design = setDesigns[set];
    if (!design || design->rate != sampleRate) {
        // The audio side may still run the old design: it is released once it no longer can.
        if (design) retiredDesigns.push_back(std::move(design));
        design = buildSetDesign(set, sampleRate);
    }
    return design.get();
}

std::unique_ptr<CPostSetDesign> AXeTetra::buildSetDesign(int set, float rate) {
    auto design = std::make_unique<CPostSetDesign>();
    design->set = set;
    design->rate = rate;
    CFilter* const* filters = postMatrixFilters[set];
    ChannelKind kinds[4];
    for (int k = 0; k < 4; ++k)
        kinds[k] = kindOf(filters[k]);

    for (int k = 0; k < 4; ++k) {
        CFilter* filter = filters[k];
        switch (kinds[k]) {
        case ChannelKind::kPass:
            break;
        case ChannelKind::kConvolver: {
            if (!design->convolver) design->convolver = std::make_unique<CQuadConvolverDesign>();
            CQuadConvolverDesign& convolver = *design->convolver;
            auto* fft = static_cast<CFFTFilter*>(filter);
            fft->setSamplingRate(rate);
            // Channels designed alike (X, Y and Z of a correction set) share one design.
            int same = -1;
            for (int j = 0; j < k && same < 0; ++j)
                if (kinds[j] == ChannelKind::kConvolver &&
                    fft->designsLike(*static_cast<const CFFTFilter*>(filters[j])))
                    same = j;
            const CFFTFilter* source = fft;
            if (same >= 0)
                source = static_cast<const CFFTFilter*>(filters[same]);
            else
                fft->internalSetSamplingRate(rate);
            convolver.setChannel(k, source->getResponse());
            break;
        }
        case ChannelKind::kRecursive: {
            if (!design->iir) design->iir = std::make_unique<CQuadIIRDesign>();
            auto* iir = static_cast<CIIRFilter*>(filter);
            iir->setSamplingRate(rate);
            // Once for each coefficient set without a filter for the rate (the W and the Vel set
            // of a calibration): the channel passes its signal.
            const CFilterCoefficients* set = iir->getCoefficientSet();
            bool told = false;
            for (int j = 0; j < k; ++j)
                told = told ||
                       (kinds[j] == ChannelKind::kRecursive &&
                        static_cast<const CIIRFilter*>(filters[j])->getCoefficientSet() == set);
            if (set != nullptr && !told && !set->hasFilterFor(rate))
                MsgBoxf("No filter found for sampling rate %6.0f", static_cast<double>(rate));
            std::vector<float> b(static_cast<size_t>(iir->getNumB()));
            std::vector<float> a(static_cast<size_t>(iir->getNumA()));
            for (size_t j = 0; j < b.size(); ++j)
                b[j] = iir->getB(static_cast<int>(j));
            for (size_t j = 0; j < a.size(); ++j)
                a[j] = iir->getA(static_cast<int>(j));
            design->iir->setChannel(k, b.data(), iir->getNumB(), a.data(), iir->getNumA());
            break;
        }
        case ChannelKind::kEqualiser:
            filter->setSamplingRate(rate);
            break;
        }
    }

    bool anyEqualiser = false;
    for (ChannelKind kind : kinds)
        anyEqualiser = anyEqualiser || kind == ChannelKind::kEqualiser;
    if (anyEqualiser) {
        design->equaliser = std::make_unique<CQuadEQDesign>();
        CQuadEQDesign& eq = *design->equaliser;
        eq.numBands = 1;
        eq.useOutputGain = true;
        for (int k = 0; k < 4; ++k) {
            // Channels of another kind get bands that return their input exactly.
            for (int b = 0; b < CQuadEQDesign::kMaxBands; ++b)
                CQuadEQDesign::setIdentity(eq.bands[b], k);
            eq.outputGain[k] = 1.0f;
            const CFilter* filter = filters[k];
            if (kinds[k] != ChannelKind::kEqualiser) continue;
            if (const auto* three = dynamic_cast<const CParaEQ3Band*>(filter)) {
                for (int b = 0; b < 3; ++b)
                    setBand(eq.bands[b], k, three->getBand(b));
                eq.outputGain[k] = three->getOutputGain();
                eq.numBands = 3;
            } else if (const auto* two = dynamic_cast<const CParaEQ2Band*>(filter)) {
                for (int b = 0; b < 2; ++b)
                    setBand(eq.bands[b], k, two->getBand(b));
                eq.outputGain[k] = two->getOutputGain();
                eq.numBands = std::max(eq.numBands, 2);
            } else {
                setBand(eq.bands[0], k, *static_cast<const CMitRegFilter*>(filter));
            }
        }
    }
    return design;
}

void AXeTetra::releaseRetiredDesigns() {
    retiredDesigns.erase(std::remove_if(retiredDesigns.begin(), retiredDesigns.end(),
                                        [this](const std::unique_ptr<CPostSetDesign>& design) {
                                            return !exchange.mayBeReading(design.get());
                                        }),
                         retiredDesigns.end());
}
