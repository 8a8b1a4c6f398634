#include "params/MidiAssignmentsFile.h"

#include "base/MakerFolder.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace {

bool endsWithSeparator(const std::string& s)
{
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

// A name no other writer (thread or instance) uses at the same time.
std::string temporaryName()
{
    static std::atomic<unsigned> counter{0};
    const std::size_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%zx.%x.tmp", thread,
                  counter.fetch_add(1, std::memory_order_relaxed));
    return std::string(MidiAssignmentsFile::kFileName) + suffix;
}

} // namespace

MidiAssignmentsFile::MidiAssignmentsFile() : folder(defaultFolder()) {}

MidiAssignmentsFile::MidiAssignmentsFile(std::string folderPath) : folder(std::move(folderPath))
{
    if (!folder.empty() && !endsWithSeparator(folder))
        folder += static_cast<char>(std::filesystem::path::preferred_separator);
}

std::string MidiAssignmentsFile::getPath() const
{
    return folder.empty() ? std::string() : folder + kFileName;
}

std::string MidiAssignmentsFile::format(const std::vector<MidiMapEntry>& entries)
{
    std::string text;
    char line[32];
    for (const MidiMapEntry& e : entries) {
        std::snprintf(line, sizeof line, "%d %d\n", static_cast<int>(e.parameter),
                      static_cast<int>(e.controller));
        text += line;
    }
    return text;
}

std::string MidiAssignmentsFile::defaultFolder()
{
    return makerDataFolder();
}

bool MidiAssignmentsFile::save(const std::vector<MidiMapEntry>& entries) const // [any]
{
    if (folder.empty())
        return false;
    try {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path dir(folder);
        fs::create_directories(dir, ec);
        if (!fs::is_directory(dir, ec))
            return false;

        const fs::path finalPath = dir / kFileName;
        const fs::path tempPath = dir / temporaryName();
        const std::string text = format(entries);

        // Text mode, so lines end the platform's way.
        std::FILE* f = std::fopen(tempPath.string().c_str(), "w");
        if (!f)
            return false;
        bool ok = text.empty() || std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = (std::fclose(f) == 0) && ok;
        if (ok) {
            fs::rename(tempPath, finalPath, ec); // replaces an existing file
            ok = !ec;
        }
        if (!ok)
            fs::remove(tempPath, ec);
        return ok;
    } catch (...) {
        // Out of memory while building paths: silent like every other failure here.
        return false;
    }
}

void saveMidiAssignments(const std::vector<MidiMapEntry>& entries) // [any]
{
    MidiAssignmentsFile().save(entries);
}
