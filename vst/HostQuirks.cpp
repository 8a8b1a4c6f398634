#include "vst/HostQuirks.h"

#include <cstring>

#if defined(__linux__)
#include <dlfcn.h>
#include <link.h>
#endif

namespace {

struct HostQuirkRow
{
    const char* product;                // the whole product string, exactly
    VstInt32 firstVersion, lastVersion; // vendor version range
    const char* releaseSymbol;          // null when the vendor version tells enough
    int firstRelease, lastRelease;      // major release range, read under releaseSymbol
    uint32_t quirks;
};

constexpr HostQuirkRow kHostQuirkRows[] = {
    // Ardour answers vendor version 900 in every release, so its own release decides. Ardour 7
    // crashes (in its tempo map, on the thread that runs LXVST editors) when a begin edit
    // arrives while the parameter's automation is in Touch mode; plain automate calls are fine.
    {"Ardour", 900, 900, "_ZN6ARDOUR8revisionE", 7, 7, kHostQuirkNoEditGestures},
};

} // namespace

int releaseMajor(const char* text)
{
    if (!text || text[0] < '0' || text[0] > '9') {
        return -1;
    }
    int major = 0;
    // A handful of digits at most: the text is the host's, and no release number is longer.
    for (int i = 0; i < 6 && text[i] >= '0' && text[i] <= '9'; ++i) {
        major = major * 10 + (text[i] - '0');
    }
    return major;
}

uint32_t hostQuirksFor(const char* product, VstInt32 vendorVersion, HostReleaseReader readRelease)
{
    if (!product) {
        product = "";
    }
    for (const HostQuirkRow& row : kHostQuirkRows) {
        if (std::strcmp(product, row.product) != 0 || vendorVersion < row.firstVersion ||
            vendorVersion > row.lastVersion) {
            continue;
        }
        if (row.releaseSymbol) {
            const int major = releaseMajor(readRelease ? readRelease(row.releaseSymbol) : nullptr);
            if (major < row.firstRelease || major > row.lastRelease) {
                continue;
            }
        }
        return row.quirks;
    }
    return kHostQuirkNone;
}

const char* readReleaseFromProcess(const char* symbol)
{
#if defined(__linux__)
    if (!symbol) {
        return nullptr;
    }
    void* address = dlsym(RTLD_DEFAULT, symbol);
    if (!address) {
        return nullptr;
    }
    Dl_info info{};
    void* found = nullptr;
    if (dladdr1(address, &info, &found, RTLD_DL_SYMENT) == 0 || !found) {
        return nullptr;
    }
    const auto* entry = static_cast<const ElfW(Sym)*>(found);
    // Only a data object the size of a pointer is read as a text pointer; anything else under
    // that name (a function, an array in some other release) is left alone. The type bits sit
    // in the same place in 32- and 64-bit symbols.
    if (ELF32_ST_TYPE(entry->st_info) != STT_OBJECT || entry->st_size != sizeof(const char*)) {
        return nullptr;
    }
    return *static_cast<const char* const*>(address);
#else
    (void)symbol;
    return nullptr;
#endif
}
