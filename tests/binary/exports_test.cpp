// The module file itself: only the two entry points visible, and no C++ runtime that could clash
// with the host's own.
#include "module_under_test.h"

#if defined(__linux__)

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

struct DynamicInfo
{
    std::set<std::string> definedGlobals;
    std::vector<std::string> needed;
    bool valid = false;
};

// Reads the dynamic symbol table and the DT_NEEDED entries of a 64-bit ELF file.
DynamicInfo readDynamicInfo(const std::string& path)
{
    DynamicInfo info;
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    if (bytes.size() < sizeof(Elf64_Ehdr)) {
        return info;
    }
    Elf64_Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_shoff + header.e_shnum * sizeof(Elf64_Shdr) > bytes.size()) {
        return info;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), bytes.data() + header.e_shoff,
                header.e_shnum * sizeof(Elf64_Shdr));
    auto text = [&](const Elf64_Shdr& strtab, uint64_t offset) {
        const uint64_t at = strtab.sh_offset + offset;
        return at < bytes.size() ? std::string(bytes.data() + at) : std::string();
    };
    for (const Elf64_Shdr& s : sections) {
        if ((s.sh_type != SHT_DYNSYM && s.sh_type != SHT_DYNAMIC) || s.sh_link >= sections.size() ||
            s.sh_offset + s.sh_size > bytes.size()) {
            continue;
        }
        const Elf64_Shdr& strtab = sections[s.sh_link];
        if (s.sh_type == SHT_DYNSYM) {
            for (uint64_t off = 0; off + sizeof(Elf64_Sym) <= s.sh_size; off += sizeof(Elf64_Sym)) {
                Elf64_Sym sym;
                std::memcpy(&sym, bytes.data() + s.sh_offset + off, sizeof(sym));
                const int binding = ELF64_ST_BIND(sym.st_info);
                if (sym.st_shndx != SHN_UNDEF && (binding == STB_GLOBAL || binding == STB_WEAK)) {
                    info.definedGlobals.insert(text(strtab, sym.st_name));
                }
            }
        } else {
            for (uint64_t off = 0; off + sizeof(Elf64_Dyn) <= s.sh_size; off += sizeof(Elf64_Dyn)) {
                Elf64_Dyn dyn;
                std::memcpy(&dyn, bytes.data() + s.sh_offset + off, sizeof(dyn));
                if (dyn.d_tag == DT_NEEDED) {
                    info.needed.push_back(text(strtab, dyn.d_un.d_val));
                }
            }
        }
    }
    info.valid = true;
    return info;
}

} // namespace

TEST(ModuleFile, ExportsExactlyTheTwoEntryPoints)
{
    const DynamicInfo info = readDynamicInfo(binarytest::modulePath());
    ASSERT_TRUE(info.valid);
#if defined(MORVEK2_SANITIZED_BUILD)
    // Sanitizer builds add their interceptors' symbols; the entry points must still be there.
    EXPECT_TRUE(info.definedGlobals.count("VSTPluginMain"));
    EXPECT_TRUE(info.definedGlobals.count("main"));
#else
    EXPECT_EQ(info.definedGlobals, (std::set<std::string>{"VSTPluginMain", "main"}));
#endif
}

TEST(ModuleFile, CarriesItsOwnCppRuntime)
{
    const DynamicInfo info = readDynamicInfo(binarytest::modulePath());
    ASSERT_TRUE(info.valid);
    bool hasC = false;
    for (const std::string& lib : info.needed) {
        EXPECT_NE(lib.rfind("libstdc++", 0), 0u) << lib;
        EXPECT_NE(lib.rfind("libgcc_s", 0), 0u) << lib;
        hasC |= lib.rfind("libc.so", 0) == 0;
    }
    EXPECT_TRUE(hasC);
}

TEST(ModuleFile, NeedsOnlyTheCLibraryAndTheWindowLibraries)
{
    const DynamicInfo info = readDynamicInfo(binarytest::modulePath());
    ASSERT_TRUE(info.valid);
    // The editor draws with Cairo into an X11 window; nothing else may be required of a host
    // (libXext comes with Cairo's Xlib support on every X11 system).
    const char* allowed[] = {"libc.so",  "libm.so",    "libX11.so",   "libXext.so", "libcairo.so",
                             "ld-linux", "libasan.so", "libubsan.so", "libtsan.so"};
    for (const std::string& lib : info.needed) {
        bool known = false;
        for (const char* prefix : allowed) {
            known |= lib.rfind(prefix, 0) == 0;
        }
        EXPECT_TRUE(known) << lib;
    }
}

#endif
