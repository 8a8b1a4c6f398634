#include "host/shared_library.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#if defined(__linux__)
#include <link.h>
#endif
#include <cstring>
#endif

namespace morvek2::host {

SharedLibrary::~SharedLibrary()
{
    close();
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr))
{}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

#if defined(_WIN32)

bool SharedLibrary::open(const std::string& path, std::string& error)
{
    close();
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        char text[256] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       GetLastError(), 0, text, sizeof(text) - 1, nullptr);
        error = text;
        return false;
    }
    handle_ = reinterpret_cast<void*>(module);
    return true;
}

void* SharedLibrary::symbol(const char* name) const
{
    if (handle_ == nullptr) {
        return nullptr;
    }
    // GetProcAddress only searches the module's own export table.
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void SharedLibrary::close()
{
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(std::exchange(handle_, nullptr)));
    }
}

#else

bool SharedLibrary::open(const std::string& path, std::string& error)
{
    close();
    dlerror();
    // RTLD_LOCAL keeps one module's symbols from resolving another's, as hosts load them.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown dlopen failure";
        return false;
    }
    return true;
}

void* SharedLibrary::symbol(const char* name) const
{
    if (handle_ == nullptr) {
        return nullptr;
    }
    void* address = dlsym(handle_, name);
    if (address == nullptr) {
        return nullptr;
    }
#if defined(__linux__)
    // dlsym also searches the library's dependencies; a `main` found there (or anywhere but in
    // the library itself) is not the library's entry point.
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr &&
        dladdr(address, &info) != 0 && info.dli_fname != nullptr && map->l_name != nullptr &&
        std::strcmp(info.dli_fname, map->l_name) != 0) {
        return nullptr;
    }
#endif
    return address;
}

void SharedLibrary::close()
{
    if (handle_ != nullptr) {
        dlclose(std::exchange(handle_, nullptr));
    }
}

#endif

} // namespace morvek2::host
