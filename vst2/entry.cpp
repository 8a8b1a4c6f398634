// The module's exported entry, under both names hosts look for.
#include "base/ModulePin.h"
#include "vst2/Morvek2.h"

#include <new>

#if defined(_WIN32)
#define MORVEK2_EXPORT __declspec(dllexport)
#else
#define MORVEK2_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

MORVEK2_EXPORT AEffect* VSTPluginMain(audioMasterCallback host)
{
    // A host that cannot tell its interface version (or has no callback at all) gets nothing.
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    keepModuleLoaded();
    try {
        auto* effect = new Morvek2(host);
        return effect->getAeffect();
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (...) {
        // Nothing may unwind into the host.
        return nullptr;
    }
}

#if !defined(_WIN32)
// C++ does not allow a function named main that returns a pointer, so the second export gets its
// symbol name from the assembler. On Windows the .def file makes the alias instead.
MORVEK2_EXPORT AEffect* morvek2LegacyMain(audioMasterCallback host) __asm__("main");
AEffect* morvek2LegacyMain(audioMasterCallback host)
{
    return VSTPluginMain(host);
}
#endif
}
