// Windows only: one machine word per thread that reading and writing never allocates, for the
// few per-thread flags and states the audio path touches. On Linux those are thread_locals of
// the module's static thread storage. mingw-w64 emulates thread_local with a block it allocates
// on each thread's first use, so on Windows the word lives in a slot of the system's own
// per-thread table instead; every thread's slot starts out 0.
#pragma once

#include <cstdint>

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>

class ThreadWord
{
public:
    ThreadWord() noexcept
    {
        const DWORD slot = TlsAlloc();
        if (slot != TLS_OUT_OF_INDEXES) {
            slotPlusOne = slot + 1;
        }
    }
    ~ThreadWord()
    {
        if (slotPlusOne != 0) {
            TlsFree(slotPlusOne - 1);
        }
    }
    ThreadWord(const ThreadWord&) = delete;
    ThreadWord& operator=(const ThreadWord&) = delete;

    std::uintptr_t get() const noexcept // [any]
    {
        if (slotPlusOne == 0) {
            return shared.load(std::memory_order_relaxed);
        }
        // TlsGetValue clears the thread's last error; keep what the host may still read.
        const DWORD lastError = GetLastError();
        const auto value = reinterpret_cast<std::uintptr_t>(TlsGetValue(slotPlusOne - 1));
        SetLastError(lastError);
        return value;
    }

    void set(std::uintptr_t value) noexcept // [any]
    {
        if (slotPlusOne == 0) {
            shared.store(value, std::memory_order_relaxed);
        } else {
            TlsSetValue(slotPlusOne - 1, reinterpret_cast<void*>(value));
        }
    }

private:
    // 0 until the slot is allocated (zero before static initialisation has run, or when the
    // process has no slot left): then all threads share one word, which only costs
    // independence between threads, never memory.
    DWORD slotPlusOne = 0;
    std::atomic<std::uintptr_t> shared{0};
};

#endif
