#include "base/ModulePin.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

void keepModuleLoaded()
{
    static std::atomic<bool> pinned{false};
    if (pinned.exchange(true, std::memory_order_relaxed)) {
        return;
    }
    // The module that holds this function, pinned: FreeLibrary no longer unloads it.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&keepModuleLoaded), &self);
}

#else

void keepModuleLoaded() {}

#endif
