#pragma once

#include <cstdint>

// The 15-bit linear congruential generator every random choice of the plug-in uses
// (lane re-rolls, random direction, lane commands, parameter randomisation).
// One state per calling thread, starting from 1 and never seeded, so a fresh process
// always draws the same sequence. Inline so that the whole module shares one state per
// thread.
inline int zk_rand() // [any]
{
    thread_local std::uint32_t state = 1;
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

inline constexpr int kZkRandMax = 32767;
