// Counts heap allocations made by the current thread while a scope is active.
//
// Linking the morvek2_alloc_counter object library into a test executable replaces the global
// operator new (every form). On glibc, and outside sanitizer builds, it also interposes malloc,
// calloc, realloc and the aligned forms, so allocations made inside a dlopen'd module that carries
// its own copy of the C++ runtime are counted too.
#pragma once

#include <cstddef>

namespace morvek2::test {

// Starts counting on the constructing thread; scopes may nest. Other threads are not counted.
class AllocationScope
{
public:
    AllocationScope();
    ~AllocationScope();
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;

    // Allocations on this thread since the scope began.
    std::size_t count() const;

private:
    std::size_t start_;
};

// Allocations counted on this thread so far, across all scopes.
std::size_t allocationsOnThisThread();

// Whether allocations made through the C library (and so inside a module with its own C++
// runtime) are counted. False in sanitizer builds, whose runtimes own malloc.
bool countsMalloc();

} // namespace morvek2::test
