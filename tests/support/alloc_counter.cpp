#include "support/alloc_counter.h"

#include <cerrno>
#include <cstdlib>
#include <new>

#if defined(_WIN32)
#include <malloc.h>
#endif

#if defined(__GLIBC__) && !defined(MORVEK2_ALLOC_COUNTER_NO_MALLOC)
#define MORVEK2_COUNT_MALLOC 1
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* ptr, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void __libc_free(void* ptr);
}
#else
#define MORVEK2_COUNT_MALLOC 0
#endif

namespace {

// Plain thread-locals with constant initialisation: reading them never allocates.
constinit thread_local std::size_t tlsDepth = 0;
constinit thread_local std::size_t tlsCount = 0;

inline void countOne()
{
    if (tlsDepth > 0) {
        ++tlsCount;
    }
}

// The allocator underneath, without counting.
inline void* rawAlloc(std::size_t size)
{
#if MORVEK2_COUNT_MALLOC
    return __libc_malloc(size == 0 ? 1 : size);
#else
    return std::malloc(size == 0 ? 1 : size);
#endif
}

inline void* rawAlignedAlloc(std::size_t size, std::size_t alignment)
{
    if (alignment < sizeof(void*)) {
        alignment = sizeof(void*);
    }
#if MORVEK2_COUNT_MALLOC
    return __libc_memalign(alignment, size == 0 ? 1 : size);
#elif defined(_WIN32)
    // The Windows C library has no posix_memalign; its aligned blocks need _aligned_free.
    return _aligned_malloc(size == 0 ? 1 : size, alignment);
#else
    void* p = nullptr;
    return posix_memalign(&p, alignment, size == 0 ? 1 : size) == 0 ? p : nullptr;
#endif
}

inline void rawFree(void* p)
{
#if MORVEK2_COUNT_MALLOC
    __libc_free(p);
#else
    std::free(p);
#endif
}

inline void rawAlignedFree(void* p)
{
#if defined(_WIN32)
    _aligned_free(p);
#else
    rawFree(p);
#endif
}

void* countedNew(std::size_t size)
{
    countOne();
    void* p = rawAlloc(size);
    if (!p) {
        throw std::bad_alloc();
    }
    return p;
}

void* countedAlignedNew(std::size_t size, std::align_val_t alignment)
{
    countOne();
    void* p = rawAlignedAlloc(size, static_cast<std::size_t>(alignment));
    if (!p) {
        throw std::bad_alloc();
    }
    return p;
}

} // namespace

namespace morvek2::test {

AllocationScope::AllocationScope() : start_(tlsCount)
{
    ++tlsDepth;
}

AllocationScope::~AllocationScope()
{
    --tlsDepth;
}

std::size_t AllocationScope::count() const
{
    return tlsCount - start_;
}

std::size_t allocationsOnThisThread()
{
    return tlsCount;
}

bool countsMalloc()
{
    return MORVEK2_COUNT_MALLOC != 0;
}

} // namespace morvek2::test

// ---- Replaced global allocation functions -------------------------------------------------------

void* operator new(std::size_t size)
{
    return countedNew(size);
}
void* operator new[](std::size_t size)
{
    return countedNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    countOne();
    return rawAlloc(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    countOne();
    return rawAlloc(size);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return countedAlignedNew(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return countedAlignedNew(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    countOne();
    return rawAlignedAlloc(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    countOne();
    return rawAlignedAlloc(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* p) noexcept
{
    rawFree(p);
}
void operator delete[](void* p) noexcept
{
    rawFree(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    rawFree(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    rawFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    rawFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    rawFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    rawAlignedFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    rawAlignedFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    rawAlignedFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    rawAlignedFree(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    rawAlignedFree(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    rawAlignedFree(p);
}

// ---- C library allocation, interposed for modules loaded into the test process ------------------

#if MORVEK2_COUNT_MALLOC
extern "C" {

void* malloc(std::size_t size)
{
    countOne();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    countOne();
    return __libc_calloc(count, size);
}

void* realloc(void* ptr, std::size_t size)
{
    countOne();
    return __libc_realloc(ptr, size);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    countOne();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    countOne();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size)
{
    // Power of two and a multiple of the pointer size, as the C library requires.
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    countOne();
    void* p = __libc_memalign(alignment, size);
    if (!p) {
        return ENOMEM;
    }
    *out = p;
    return 0;
}

void* valloc(std::size_t size)
{
    countOne();
    return __libc_valloc(size);
}

} // extern "C"
#endif
