#include "tools/morvek2/preset_file.h"

#include "tools/morvek2/errors.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace morvek2::cli {

namespace {

constexpr std::size_t kProgramHeader = 56; // through the 28-byte name
constexpr std::size_t kBankHeader = 156;   // through the 124 reserved bytes
constexpr std::size_t kNameBytes = 28;

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putFloat(std::vector<std::uint8_t>& out, float f)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    put32(out, bits);
}

void putName(std::vector<std::uint8_t>& out, const std::string& name)
{
    // Always zero-terminated inside the field.
    for (std::size_t i = 0; i < kNameBytes; ++i) {
        out.push_back(i + 1 < kNameBytes && i < name.size() ? static_cast<std::uint8_t>(name[i])
                                                            : 0);
    }
}

void patchSize(std::vector<std::uint8_t>& out, std::size_t start)
{
    const auto size = static_cast<std::uint32_t>(out.size() - start - 8);
    for (int i = 0; i < 4; ++i) {
        out[start + 4 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
}

void encodeRegularProgram(std::vector<std::uint8_t>& out, const PresetFile& p,
                          const PresetProgram& program)
{
    const std::size_t start = out.size();
    put32(out, kChunkMagic);
    put32(out, 0);
    put32(out, kRegularProgram);
    put32(out, 1);
    put32(out, static_cast<std::uint32_t>(p.pluginId));
    put32(out, static_cast<std::uint32_t>(p.pluginVersion));
    put32(out, static_cast<std::uint32_t>(program.values.size()));
    putName(out, program.name);
    for (const float v : program.values) {
        putFloat(out, v);
    }
    patchSize(out, start);
}

// Reads big-endian fields and fails with the file's name when the bytes run out.
class Reader
{
public:
    Reader(const std::vector<std::uint8_t>& bytes, const std::string& path)
        : bytes_(bytes), path_(path)
    {}
    std::uint32_t u32(std::size_t at, const char* field) const
    {
        need(at, 4, field);
        return (static_cast<std::uint32_t>(bytes_[at]) << 24) |
               (static_cast<std::uint32_t>(bytes_[at + 1]) << 16) |
               (static_cast<std::uint32_t>(bytes_[at + 2]) << 8) | bytes_[at + 3];
    }
    float f32(std::size_t at, const char* field) const
    {
        const std::uint32_t bits = u32(at, field);
        float f = 0.0f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    std::string name(std::size_t at) const
    {
        need(at, kNameBytes, "program name");
        std::string text;
        for (std::size_t i = 0; i < kNameBytes && bytes_[at + i] != 0; ++i) {
            text.push_back(static_cast<char>(bytes_[at + i]));
        }
        return text;
    }
    void need(std::size_t at, std::size_t count, const char* field) const
    {
        if (at > bytes_.size() || count > bytes_.size() - at) {
            bad(std::string("file ends inside the ") + field);
        }
    }
    [[noreturn]] void bad(const std::string& what) const
    {
        fail(Exit::Preset, "preset '" + path_ + "' is damaged: " + what);
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    const std::string& path_;
};

PresetProgram decodeRegularProgram(const Reader& r, std::size_t at, std::int32_t pluginId)
{
    if (r.u32(at, "program header") != kChunkMagic ||
        r.u32(at + 8, "program header") != kRegularProgram) {
        r.bad("a program inside the bank has a bad header");
    }
    if (static_cast<std::int32_t>(r.u32(at + 16, "program header")) != pluginId) {
        r.bad("a program inside the bank belongs to another plug-in");
    }
    const std::uint32_t count = r.u32(at + 24, "parameter count");
    if (count > 100000) {
        r.bad("parameter count " + std::to_string(count) + " is not plausible");
    }
    PresetProgram program;
    program.name = r.name(at + 28);
    r.need(at + kProgramHeader, std::size_t{4} * count, "parameter values");
    for (std::uint32_t i = 0; i < count; ++i) {
        program.values.push_back(r.f32(at + kProgramHeader + 4 * i, "parameter values"));
    }
    return program;
}

} // namespace

std::string idText(std::int32_t id)
{
    const auto u = static_cast<std::uint32_t>(id);
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((u >> shift) & 0xFF);
        if (!std::isprint(static_cast<unsigned char>(c))) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", u);
            return hex;
        }
        text.push_back(c);
    }
    return "'" + text + "'";
}

std::vector<std::uint8_t> encodePreset(const PresetFile& p)
{
    std::vector<std::uint8_t> out;
    if (!p.bank) {
        if (!p.opaque) {
            encodeRegularProgram(out, p, p.programs.empty() ? PresetProgram{} : p.programs[0]);
            return out;
        }
        put32(out, kChunkMagic);
        put32(out, 0);
        put32(out, kOpaqueProgram);
        put32(out, 1);
        put32(out, static_cast<std::uint32_t>(p.pluginId));
        put32(out, static_cast<std::uint32_t>(p.pluginVersion));
        put32(out, static_cast<std::uint32_t>(p.count));
        putName(out, p.programName);
        put32(out, static_cast<std::uint32_t>(p.chunk.size()));
        out.insert(out.end(), p.chunk.begin(), p.chunk.end());
        patchSize(out, 0);
        return out;
    }
    put32(out, kChunkMagic);
    put32(out, 0);
    put32(out, p.opaque ? kOpaqueBank : kRegularBank);
    put32(out, 2); // format 2 carries the current program
    put32(out, static_cast<std::uint32_t>(p.pluginId));
    put32(out, static_cast<std::uint32_t>(p.pluginVersion));
    put32(out, static_cast<std::uint32_t>(p.opaque ? p.count : p.programs.size()));
    put32(out, static_cast<std::uint32_t>(std::max(p.currentProgram, 0)));
    out.resize(kBankHeader, 0);
    if (p.opaque) {
        put32(out, static_cast<std::uint32_t>(p.chunk.size()));
        out.insert(out.end(), p.chunk.begin(), p.chunk.end());
    } else {
        for (const PresetProgram& program : p.programs) {
            encodeRegularProgram(out, p, program);
        }
    }
    patchSize(out, 0);
    return out;
}

PresetFile decodePreset(const std::vector<std::uint8_t>& bytes, bool wantBank,
                        const std::string& path)
{
    const Reader r(bytes, path);
    if (bytes.size() < 8 || r.u32(0, "header") != kChunkMagic) {
        fail(Exit::Preset, "'" + path + "' is not a VST preset file (no 'CcnK' header)");
    }
    PresetFile p;
    const std::uint32_t magic = r.u32(8, "header");
    if (magic == kOpaqueProgram || magic == kRegularProgram) {
        p.bank = false;
    } else if (magic == kOpaqueBank || magic == kRegularBank) {
        p.bank = true;
    } else {
        r.bad("unknown preset kind in the header");
    }
    if (p.bank != wantBank) {
        fail(Exit::Preset, "'" + path + "' is a " + (p.bank ? "bank (FXB)" : "program (FXP)") +
                               " file; load it with " + (p.bank ? "--load-fxb" : "--load-fxp"));
    }
    p.opaque = magic == kOpaqueProgram || magic == kOpaqueBank;
    // The size field after the magic is not trusted: some writers leave it 0.
    const std::uint32_t version = r.u32(12, "header");
    p.pluginId = static_cast<std::int32_t>(r.u32(16, "header"));
    p.pluginVersion = static_cast<std::int32_t>(r.u32(20, "header"));
    p.count = static_cast<std::int32_t>(r.u32(24, "header"));
    if (!p.bank) {
        p.programName = r.name(28);
        if (p.opaque) {
            const std::uint32_t size = r.u32(kProgramHeader, "chunk size");
            r.need(kProgramHeader + 4, size, "chunk");
            p.chunk.assign(bytes.begin() + kProgramHeader + 4,
                           bytes.begin() + static_cast<std::ptrdiff_t>(kProgramHeader + 4 + size));
        } else {
            // A regular program is laid out exactly like one program of a regular bank.
            p.programs.push_back(decodeRegularProgram(r, 0, p.pluginId));
        }
        return p;
    }
    if (version >= 2) {
        p.currentProgram = static_cast<std::int32_t>(r.u32(28, "header"));
    }
    r.need(0, kBankHeader, "bank header");
    if (p.opaque) {
        const std::uint32_t size = r.u32(kBankHeader, "chunk size");
        r.need(kBankHeader + 4, size, "chunk");
        p.chunk.assign(bytes.begin() + kBankHeader + 4,
                       bytes.begin() + static_cast<std::ptrdiff_t>(kBankHeader + 4 + size));
        return p;
    }
    if (p.count < 0 || p.count > 100000) {
        r.bad("program count " + std::to_string(p.count) + " is not plausible");
    }
    std::size_t at = kBankHeader;
    for (std::int32_t i = 0; i < p.count; ++i) {
        p.programs.push_back(decodeRegularProgram(r, at, p.pluginId));
        at += kProgramHeader + 4 * p.programs.back().values.size();
    }
    return p;
}

} // namespace morvek2::cli
