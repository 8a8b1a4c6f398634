// Moving a module's state to and from FXP/FXB files.
#pragma once

#include "tools/morvek2/preset_file.h"
#include "tools/morvek2/session.h"

#include <string>
#include <vector>

namespace morvek2::cli {

// Reads, checks (kind, plug-in id, sizes) and applies a preset file; throws Error(Exit::Preset).
void loadPreset(Session& session, const std::string& path, bool bank);

// The current program (FXP) or the whole bank (FXB) as file bytes: opaque when the module keeps
// its state in chunks, parameter values otherwise.
std::vector<std::uint8_t> savePreset(Session& session, bool bank);

} // namespace morvek2::cli
