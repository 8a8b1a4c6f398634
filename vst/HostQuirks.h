// Hosts that break on something the interface allows, and what the plug-in does instead there.
// A host is recognised by what it says about itself through the callback (product string and
// vendor version); a host that answers the same version in every release is told apart by the
// release it states in its own process, where the table says where to read it.
#pragma once

#include "vst/vst2_abi.h"

#include <cstdint>

enum HostQuirk : uint32_t {
    kHostQuirkNone = 0,
    // audioMasterBeginEdit/EndEdit are not sent; audioMasterAutomate still is.
    kHostQuirkNoEditGestures = 1u << 0,
};

// Reads the release text a host process keeps under `symbol`; null when there is none.
using HostReleaseReader = const char* (*)(const char* symbol);

// The quirks of the host that answers `product` (terminated, "" when it answers nothing) and
// `vendorVersion`; `readRelease` is asked only for a host whose row needs its release.
uint32_t hostQuirksFor(const char* product, VstInt32 vendorVersion,
                       HostReleaseReader readRelease); // [any]

// The leading number of a release text ("7.3.0~ds0-1" → 7); -1 when it starts with none.
int releaseMajor(const char* text); // [any]

// The release text this process keeps under `symbol`, when that is a data object the size of a
// text pointer; null otherwise, and always on systems without a dynamic symbol table to ask.
const char* readReleaseFromProcess(const char* symbol); // [ui]
