#pragma once

#include <cstdint>

// The 15-bit linear congruential generator every random choice of the plug-in uses
// (lane re-rolls, random direction, lane commands, parameter randomisation).
// One state per calling thread, starting from 1 and never seeded, so a fresh process
// always draws the same sequence. The state is a single inline variable so that the whole
// module shares one state per thread. It lives in the module's static thread storage: a
// thread-local of a module loaded at run time is otherwise created lazily on each thread's
// first use, and that first use allocates — on the audio thread, in the middle of a reset.
#if defined(_WIN32)
// mingw's thread_local allocates on each thread's first use: the state is a word of the system's
// per-thread table instead, kept as state XOR 1 so that a fresh thread's 0 reads as 1.
#include "base/ThreadWord.h"

inline ThreadWord zkRandWord;

inline int zk_rand() // [any]
{
    const std::uint32_t state =
        (static_cast<std::uint32_t>(zkRandWord.get()) ^ 1u) * 214013u + 2531011u;
    zkRandWord.set(state ^ 1u);
    return static_cast<int>((state >> 16) & 0x7FFFu);
}
#else
#if defined(__GNUC__)
[[gnu::tls_model("initial-exec")]]
#endif
inline thread_local std::uint32_t zkRandState = 1;

inline int zk_rand() // [any]
{
    zkRandState = zkRandState * 214013u + 2531011u;
    return static_cast<int>((zkRandState >> 16) & 0x7FFFu);
}
#endif

inline constexpr int kZkRandMax = 32767;
