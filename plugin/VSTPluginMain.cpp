#include "vst/AudioEffect.h"

// The only two symbols the shared object exports (see exports.map). Older Linux hosts look for
// "main"; it cannot be a C++ function of that name, so an assembler label gives the symbol.
extern "C" {
__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster);
__attribute__((visibility("default"))) AEffect*
mainEntry(audioMasterCallback audioMaster) __asm__("main");
}

AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    if (audioMaster == nullptr) return nullptr;
    // A host that does not tell its version does not speak the interface we were built for.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    // The base builds the record from a zeroed one, so reserved fields read 0 in every host.
    AudioEffect* effect = createEffectInstance(audioMaster);
    if (effect == nullptr) return nullptr;
    return effect->getAeffect();
}

AEffect* mainEntry(audioMasterCallback audioMaster) {
    return VSTPluginMain(audioMaster);
}
