// The module's resources on Windows: the PNG pictures and font sheets are RCDATA resources, their
// versions for high-density screens resources of type "PNG_1_5X" and "PNG_2X" (what the other
// platforms call "PNG@1.5x" and "PNG@2x") and the glyph maps resources of type "DEZADEDU_MAP",
// linked into the DLL from a resource script and found through the module's own handle (not the
// host's executable).
#include "resources/resources.h"

#include <windows.h>

#include <cstring>

namespace morvek2 {

namespace {

HMODULE thisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&findResource), &module);
    return module;
}

} // namespace

ResourceBlob findResource(int id, const char* type) // [any]
{
    // Resource numbers are 16-bit; a larger one would alias a smaller one.
    if (type == nullptr || id <= 0 || id > 0xffff)
        return {};
    LPCWSTR resourceType = nullptr;
    if (std::strcmp(type, "PNG") == 0)
        resourceType = MAKEINTRESOURCEW(10); // RT_RCDATA
    else if (std::strcmp(type, "PNG@1.5x") == 0)
        resourceType = L"PNG_1_5X";
    else if (std::strcmp(type, "PNG@2x") == 0)
        resourceType = L"PNG_2X";
    else if (std::strcmp(type, "DEZADEDU_MAP") == 0)
        resourceType = L"DEZADEDU_MAP";
    else
        return {};
    const HMODULE module = thisModule();
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), resourceType);
    if (!info)
        return {};
    const DWORD size = SizeofResource(module, info);
    HGLOBAL handle = LoadResource(module, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data || size == 0)
        return {};
    // Resources stay mapped with the module and are never freed.
    return {static_cast<const unsigned char*>(data), size};
}

} // namespace morvek2
