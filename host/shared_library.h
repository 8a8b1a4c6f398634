// The one place that knows how the operating system loads a shared library: dlopen on Linux and
// other POSIX systems, LoadLibrary on Windows. Everything else in the host is portable.
#pragma once

#include <string>

namespace morvek2::host {

// An open shared library. Move-only; the library is closed when the object goes away.
class SharedLibrary
{
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Opens the library at `path` with all its symbols bound now (an unresolved symbol fails
    // here rather than in the middle of a call). On failure returns false and sets `error` to the
    // system's reason.
    bool open(const std::string& path, std::string& error);

    // Address of an exported symbol defined by this library itself (never one that the lookup
    // found in the program or another library), or null.
    void* symbol(const char* name) const;

    bool isOpen() const { return handle_ != nullptr; }
    void close();

private:
    void* handle_ = nullptr;
};

} // namespace morvek2::host
