#include "core/SettingsExchange.h"

CSettingsExchange::CSettingsExchange()
    : pending(nullptr), heldCurrent(0), heldPrevious(0), lastGeneration(0), lastPublished(nullptr),
      lastTaken(0) {}

bool CSettingsExchange::mayBeReading(const CEngineSettings& slot) const {
    if (slot.generation == 0) return false;
    // The newest is pending or, once taken, read until something newer replaces it.
    if (&slot == lastPublished) return true;
    const uint64_t g = slot.generation;
    return g == lastTaken || g == heldCurrent.load(std::memory_order_acquire) ||
           g == heldPrevious.load(std::memory_order_acquire);
}

bool CSettingsExchange::mayBeReading(const CPostSetDesign* design) const {
    if (design == nullptr) return false;
    for (const CEngineSettings& slot : slots)
        if (slot.setDesign == design && mayBeReading(slot)) return true;
    return false;
}

void CSettingsExchange::publish(const CEngineSettings& settings) {
    CEngineSettings* slot = nullptr;
    for (CEngineSettings& candidate : slots)
        if (!mayBeReading(candidate)) {
            slot = &candidate;
            break;
        }
    // At most four slots are ever in use, so one is always free.
    if (slot == nullptr) return;
    *slot = settings;
    slot->generation = ++lastGeneration;
    CEngineSettings* replaced = pending.exchange(slot, std::memory_order_acq_rel);
    if (replaced == nullptr && lastPublished != nullptr) lastTaken = lastPublished->generation;
    // A replaced slot was never taken: it is free again (its generation is no longer the
    // newest, and the audio thread never held it).
    lastPublished = slot;
}

const CEngineSettings* CSettingsExchange::take() {
    if (pending.load(std::memory_order_relaxed) == nullptr) return nullptr;
    return pending.exchange(nullptr, std::memory_order_acq_rel);
}

void CSettingsExchange::hold(const CEngineSettings* current, const CEngineSettings* previous) {
    // The previous settings first, so that settings being faded out are never unprotected.
    heldPrevious.store(previous != nullptr ? previous->generation : 0, std::memory_order_release);
    heldCurrent.store(current != nullptr ? current->generation : 0, std::memory_order_release);
}
