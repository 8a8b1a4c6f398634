#include "base/MakerFolder.h"

#include <cstdlib>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

constexpr const char* kMakerName = "Zendrik";

} // namespace

#if defined(_WIN32)

std::string makerDataFolder()
{
    char expanded[MAX_PATH];
    const DWORD n =
        ExpandEnvironmentStringsA("%ALLUSERSPROFILE%\\Application Data", expanded, MAX_PATH);
    // 0 is a failure; a size beyond the buffer means the text did not fit.
    if (n == 0 || n > MAX_PATH) {
        return std::string();
    }
    const std::string base(expanded);
    // An unset variable is left unexpanded.
    if (base.find('%') != std::string::npos) {
        return std::string();
    }
    std::string folder = base + "\\" + kMakerName + "\\";
    // A path the system's file functions cannot take leaves no room for the file either.
    if (folder.size() >= MAX_PATH) {
        return std::string();
    }
    return folder;
}

#else

std::string makerDataFolder()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        base = std::string(home) + "/.local/share";
    } else {
        return std::string();
    }
    if (base.back() != '/') {
        base += '/';
    }
    return base + kMakerName + "/";
}

#endif
