// The library's one entry point, exported as VSTPluginMain and, at the same
// address, as main for older hosts. The build compiles this file once per
// deliverable with AMBREL_VARIANT naming that deliverable's description.
#include "editor/AmbrelEditor.h"
#include "effect/Ambrel.h"
#include "variants/Variant.h"

#include <new>

#ifndef AMBREL_VARIANT
#error "AMBREL_VARIANT must name the deliverable's description"
#endif
#ifndef AMBREL_EXPORT
#define AMBREL_EXPORT
#endif

extern "C" AMBREL_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster)
{
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr; // no host, or one too old to speak this interface
    try {
        Ambrel* effect = new (std::nothrow) Ambrel(audioMaster, AMBREL_VARIANT, makeAmbrelEditor);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr; // nothing may unwind into the host
    }
}
