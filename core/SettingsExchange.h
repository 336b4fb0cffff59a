#pragma once

#include "core/EngineSettings.h"

#include <atomic>
#include <cstdint>

// Hands complete CEngineSettings from the control side to the audio thread without a lock: the
// control side copies its settings into a free slot and publishes it through an atomic pointer
// (release); the audio thread takes the newest one (acquire) and says which settings it still
// reads. A slot, and any design it points to, is written again or released only once the audio
// thread can no longer be reading it.
//
// The control side is one thread at a time (the processor serialises its requests); the audio
// side is the thread that processes.
class CSettingsExchange {
public:
    CSettingsExchange();
    CSettingsExchange(const CSettingsExchange&) = delete;
    CSettingsExchange& operator=(const CSettingsExchange&) = delete;

    // Control side: copies the settings into a free slot, numbers it and hands it over.
    void publish(const CEngineSettings& settings);
    // Control side: whether settings the audio thread has or may yet take use the design.
    bool mayBeReading(const CPostSetDesign* design) const;

    // Audio side: the newest settings published and not yet taken, or null.
    const CEngineSettings* take();
    // Audio side: the settings the chain runs on, and the ones a crossfade still reads (the same
    // when none runs). Settings older than both are never read again.
    void hold(const CEngineSettings* current, const CEngineSettings* previous);

    // Slots: what the audio thread may hold (current, previous, one taken and not yet held),
    // what is pending, and one to write.
    static constexpr int kSlots = 6;

private:
    bool mayBeReading(const CEngineSettings& slot) const;

    CEngineSettings slots[kSlots];
    std::atomic<CEngineSettings*> pending;
    std::atomic<uint64_t> heldCurrent;
    std::atomic<uint64_t> heldPrevious;
    // Control side only.
    uint64_t lastGeneration;
    const CEngineSettings* lastPublished;
    uint64_t lastTaken; // the newest generation known to have been taken
};
