// A factory program text file (resources/presets/*.txt) as the program record the module's
// chunk carries, so a sound designer can hear and measure a file before it is built in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvek2::cli {

struct PresetText
{
    std::string name;
    double levelLu = 0.0;             // the level against bypass the file declares
    std::vector<std::uint8_t> record; // one 2024-byte program record
};

// Throws Error(Exit::Preset) with the file, the line and what is wrong.
PresetText readPresetText(const std::string& path);

} // namespace morvek2::cli
