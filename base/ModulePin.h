// Keeping the module mapped after the host's last unload. The statically linked C++ runtime
// allocates at every load (its emergency exception pool, its thread-storage keys) and never
// frees, so a host that unloads and reloads modules would lose memory on every cycle. On Linux
// the link does it (-z nodelete); on Windows the module pins itself at its first entry.
#pragma once

// Idempotent and cheap after the first call. [ui]
void keepModuleLoaded();
