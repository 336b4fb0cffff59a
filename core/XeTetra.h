#pragma once

#include "calibration/Calibration.h"
#include "calibration/CalibrationPaths.h"
#include "calibration/CalibrationSource.h"
#include "core/EngineSettings.h"
#include "core/MsgBox.h"
#include "core/OutputFormat.h"
#include "core/OutputMeters.h"
#include "core/SettingsExchange.h"
#include "core/SignalChain.h"
#include "dsp/ABMatrix.h"
#include "params/ParameterConversions.h"
#include "params/XeTetraProgram.h"
#include "vst/AudioEffectX.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CFilter;
class CFilterCoefficients;
class CLFFilter;
class CMitRegFilter;

// A parameter value that any host thread may read while another writes it.
class CSharedValue {
public:
    CSharedValue() : value(0.0f) {}
    operator float() const { return value.load(std::memory_order_relaxed); }
    CSharedValue& operator=(float v) {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<float> value;
};

// The processor: four capsule signals in, W, X, Y, Z out, through per-capsule low-frequency
// filters and equalisers, the A-to-B matrix and a selectable post-matrix filter set.
//
// Two sides meet here. The control side (every host request but the audio call, on whatever
// threads the host uses, one at a time) keeps the parameters, the programs and the filter
// objects, and designs from them the complete settings of the chain, which it hands over whole
// (CSettingsExchange). The audio side (processReplacing) runs the chain (CSignalChain) on the
// newest settings handed over; it designs, allocates, locks and waits for nothing.
class AXeTetra : public AudioEffectX, public CMessageSink {
public:
    explicit AXeTetra(audioMasterCallback audioMaster);
    AXeTetra(audioMasterCallback audioMaster, const CCalibrationPaths& calibrationPaths);
    ~AXeTetra() override;

    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    VstInt32 getProgram() override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    // The bank or the current program as the host keeps it (format in core/ProgramChunk.h).
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    // Pin names for hosts that show them: the capsules in, the outputs of the chosen order out.
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 getPlugCategory() override;

    void SetCapCompFilter(short n);
    short GetCapCompFilter();
    void SetCoincidenceFilter(short n);
    short GetCoincidenceFilter();

    // Delay in samples that the selected post-matrix set adds to all four outputs; the record's
    // initial delay always equals it.
    long GetPostMatrixLatency() const;

    // The order, orientation and inversions the outputs have now.
    COutputFormat GetOutputFormat() const;

    // Name of post-matrix set n, null when the set does not exist.
    const char* GetPostMatrixSetName(int n) const;
    int GetNumPostMatrixSets() const { return numPostMatrixSets; }

    // Calibration import; the readers run once, from the constructor.

    // Levels and direction of the outputs, measured while "Display VU" is on.
    COutputMeters& GetOutputMeters() { return outputMeters; }
    // Where the calibrations were looked for, the place they were read from (null when none
    // opened), and which file a program came from (null for one no calibration filled).
    const CCalibrationPaths& GetCalibrationPaths() const { return calibrationPaths; }
    const CCalibrationPlace* GetCalibrationPlace() const;
    const CCalibrationSource* GetCalibrationSource(int program) const;

    // Routes MsgBox reports of this instance's own work to its notice queue.
    void postMessage(const char* message) override;

protected:
    // Serialises the control side; when the outermost scope of a change ends, the settings it
    // changed are designed and handed to the audio side in one piece.
    class CControlScope {
    public:
        explicit CControlScope(AXeTetra& processor);
        ~CControlScope();
        CControlScope(const CControlScope&) = delete;
        CControlScope& operator=(const CControlScope&) = delete;

    private:
        AXeTetra& processor;
        std::lock_guard<std::recursive_mutex> guard;
        CMessageSinkScope messages; // what designing reports goes to this instance
    };

    void initFilters();
    void initPrograms();
    // Builds the filters of a calibration's post-matrix set from its description.
    void addCalibrationSet(int set, const CFilterSetDescription& description, const char* name);
    // Tells a set's filters the current rate and clears their memory.
    void prepareSet(CFilter* const (&set)[4]);
    // Writes a value into the current program and curValues.
    void storeValue(int slot, float value);
    // Sets the field that a capsule parameter (capsule, offset within the block) drives.
    void applyCapsuleValue(int capsule, int offset, float value);
    // Keeps the record's initial delay equal to the selected set's and tells the host.
    void updateLatency();
    void formatProgramName(int program, char* text) const;

    // Designs the chain from the parameters and hands it to the audio side.
    void publishSettings();
    void designCapsuleStages(CEngineSettings& settings);
    // The selected set's design at the current rate, made when first needed.
    const CPostSetDesign* designSet(int set);
    std::unique_ptr<CPostSetDesign> buildSetDesign(int set, float rate);
    // Releases the designs of earlier rates that the audio side can no longer read.
    void releaseRetiredDesigns();

    AXeTetraProgram* programs;
    CABMatrix abMatrix;
    short capCompFilter;
    short coincidenceFilter;
    float lfCutFreq;
    float lfBoostFreq;
    bool lfEnabled;
    short viewMode;
    bool displayVu;
    bool locked;
    bool calibration;
    float capGains[4][4]; // [capsule][output], dB
    float eqFreq[4];      // Hz
    float eqWidth[4];     // octaves
    float eqGain[4];      // dB
    bool eqsEnabled;
    bool eqsLinked;
    bool gainsLinked;
    float outGains[4]; // W, X, Y, Z, dB
    bool abMatrixEnabled;
    short currentCapsule;
    COutputFormat outputFormat;
    CSharedValue curValues[kNumParams]; // program-slot order
    CLFFilter* lfFilters[4];
    CMitRegFilter* eqFilters[4];
    short numPreMatrixSets;
    CFilter* preMatrixFilters[kMaxFilterSets][4];
    short numPostMatrixSets;
    CFilter* postMatrixFilters[kMaxFilterSets][4];

    // Coefficient sets shared by the filters of the text calibration sets; released after them.
    std::vector<std::shared_ptr<CFilterCoefficients>> coefficientSets;
    CCalibrationPaths calibrationPaths;
    COutputMeters outputMeters;
    // The place the search opened, an index into calibrationPaths.places; -1 when none opened.
    int calibrationPlace;
    CCalibrationSource calibrationSources[kNumPrograms];
    // Host notifications are held back until the constructor has finished.
    bool constructed;

    mutable std::recursive_mutex controlMutex;
    int controlDepth;           // nesting of CControlScope
    bool settingsDirty;         // something the chain depends on changed since the last hand-over
    uint32_t rateEpoch;         // raised by every sample-rate request
    CEngineSettings handedOver; // the settings last designed and handed over
    std::unique_ptr<CPostSetDesign> setDesigns[kMaxFilterSets];  // for the current rate
    std::vector<std::unique_ptr<CPostSetDesign>> retiredDesigns; // of earlier rates
    CSettingsExchange exchange;
    CSignalChain chain;
    // The bytes of the last getChunk, valid until the next request.
    std::vector<uint8_t> chunkBytes;
};
