// A std::recursive_mutex that gives back what the threads library made for it. With mingw-w64's
// posix thread model, libstdc++ initialises a recursive mutex statically and so never destroys
// it, while the pthread mutex behind it allocates its state at the first lock: every object
// holding one that was ever locked would lose that block when freed. (std::mutex is initialised
// there by a function and destroyed, so it needs nothing.) Elsewhere this is the standard type.
#pragma once

#include <mutex>

namespace morvek2 {

#if defined(_WIN32) && defined(__GTHREAD_RECURSIVE_MUTEX_INIT)

class RecursiveMutex : public std::recursive_mutex
{
public:
    RecursiveMutex() = default;
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;
    ~RecursiveMutex() { pthread_mutex_destroy(native_handle()); }
};

#else

using RecursiveMutex = std::recursive_mutex;

#endif

} // namespace morvek2
