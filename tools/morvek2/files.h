// Files the command line reads whole and files it writes all-or-nothing: every output goes to a
// temporary file beside its target and is renamed into place only when everything succeeded,
// so a failed run never leaves a truncated or half-written file behind.
#pragma once

#include "tools/morvek2/errors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace morvek2::cli {

// A temporary file in the target's folder, removed again unless commit() renames it over the
// target, also when the program is interrupted by a signal. Move-only.
class PendingFile
{
public:
    explicit PendingFile(std::string target); // throws Error(Exit::Output)
    ~PendingFile();
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&&) = delete;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& target() const { return target_; }
    const std::string& path() const { return temp_; }
    int descriptor() const { return fd_; }

    void write(const std::vector<std::uint8_t>& bytes); // throws Error(Exit::Output)
    void commit();                                      // throws Error(Exit::Output)

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
    int slot_ = -1; // in the list an interrupted run cleans up
};

// The whole file, or Error(code) naming `what` ("preset file", "input") and the reason.
std::vector<std::uint8_t> readWholeFile(const std::string& path, Exit code,
                                        const std::string& what);

// True when both names reach the same file (or would, for files that do not exist yet).
bool samePath(const std::string& a, const std::string& b);

// Fails with Exit::Output unless the folder of `target` exists and `target` is not a folder.
void checkWritable(const std::string& target, const std::string& what);

} // namespace morvek2::cli
