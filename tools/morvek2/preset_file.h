// The standard VST preset files: FXP (one program) and FXB (a bank), each either opaque (the
// plug-in's chunk, 'FPCh'/'FBCh') or regular (parameter values, 'FxCk'/'FxBk'). Headers are
// big-endian. Encoding and decoding only; applying a preset to a module is elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvek2::cli {

constexpr std::uint32_t fourCC(char a, char b, char c, char d)
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

inline constexpr std::uint32_t kChunkMagic = fourCC('C', 'c', 'n', 'K');
inline constexpr std::uint32_t kRegularProgram = fourCC('F', 'x', 'C', 'k');
inline constexpr std::uint32_t kOpaqueProgram = fourCC('F', 'P', 'C', 'h');
inline constexpr std::uint32_t kRegularBank = fourCC('F', 'x', 'B', 'k');
inline constexpr std::uint32_t kOpaqueBank = fourCC('F', 'B', 'C', 'h');

// One program of a regular file: its name and parameter values.
struct PresetProgram
{
    std::string name;
    std::vector<float> values;
};

struct PresetFile
{
    bool bank = false;
    bool opaque = true;
    std::int32_t pluginId = 0;
    std::int32_t pluginVersion = 0;
    std::int32_t count = 0;              // numParams (program) or numPrograms (bank)
    std::int32_t currentProgram = -1;    // banks of format version 2; -1 otherwise
    std::string programName;             // FXP only
    std::vector<std::uint8_t> chunk;     // opaque files
    std::vector<PresetProgram> programs; // regular files: one for an FXP, count for an FXB
};

std::vector<std::uint8_t> encodePreset(const PresetFile& preset);

// Checks the header and every size against the bytes; throws Error(Exit::Preset) naming `path`
// and what is wrong. `wantBank` says which kind the user asked to load.
PresetFile decodePreset(const std::vector<std::uint8_t>& bytes, bool wantBank,
                        const std::string& path);

// 'ZKm2' for printable identifiers, else 0x-hex.
std::string idText(std::int32_t id);

} // namespace morvek2::cli
