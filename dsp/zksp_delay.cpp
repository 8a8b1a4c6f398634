#include "dsp/zksp_delay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {
constexpr int kInitialSize = 4096;
}

zksp_delay::zksp_delay()
{
    buffer = new (std::nothrow) float[kInitialSize]();
    if (buffer) {
        size = kInitialSize;
    } else {
        buffer = fallbackSample;
        size = 1;
        delaySamples = 0;
        writeIndex = 0;
    }
    lastIndex = size - 1;
    baseSize = size;
}

zksp_delay::~zksp_delay()
{
    if (buffer != fallbackSample)
        delete[] buffer;
}

void zksp_delay::reset() // [ui] while suspended
{
    std::memset(buffer, 0, static_cast<std::size_t>(size) * sizeof(float)); // all samples 0.0f
    restart();
}

zksp_delay_memory zksp_delay::reset(zksp_delay_memory cleared) // [any] no allocation
{
    // Zeroed memory of the line's own size takes the place of its samples: nothing to clear
    // here, which at high rates would take longer than an audio block. Memory of another size
    // (made for a rate the line does not run at) is handed back and the line cleared in place.
    if (!cleared.samples || cleared.size != size || buffer == fallbackSample) {
        reset();
        return cleared;
    }
    const zksp_delay_memory released{buffer, size};
    buffer = cleared.samples;
    restart();
    return released;
}

void zksp_delay::restart()
{
    readIndex = 0;
    writeIndex = wrapIndex(delaySamples);
}

void zksp_delay::setSampleRate(float rate) // [ui] while suspended
{
    zksp_delay_memory fresh = prepareMemory(rate);
    zksp_delay_memory released = setSampleRate(rate, fresh);
    releaseMemory(released);
}

int zksp_delay::capacityFor(float rate) const // [any]
{
    // Same length in seconds as at the last resize, plus four samples of headroom.
    float n = static_cast<float>(baseSize) * rate / baseRate + 4.0f + 0.5f;
    if (!(n <= static_cast<float>(kMaxSize)))
        n = static_cast<float>(kMaxSize);
    return n >= 1.0f ? static_cast<int>(n) : 1;
}

zksp_delay_memory zksp_delay::prepareMemory(float rate) const // [any] allocates
{
    // Reads nothing but the length of the last resize, so it may run beside the audio thread.
    if (!(rate > 0.0f) || !std::isfinite(rate))
        return zksp_delay_memory{}; // a rate the line refuses
    return clearedMemory(capacityFor(rate));
}

zksp_delay_memory zksp_delay::clearedMemory(int samples) // [any] allocates
{
    zksp_delay_memory memory;
    if (samples < 1 || samples > kMaxSize)
        return memory;
    memory.samples = new (std::nothrow) float[static_cast<std::size_t>(samples)];
    if (memory.samples) {
        // Zeroed here, so the pages are in place before the audio thread touches them.
        std::memset(memory.samples, 0, static_cast<std::size_t>(samples) * sizeof(float));
        memory.size = samples;
    }
    return memory;
}

zksp_delay_memory zksp_delay::setSampleRate(float rate, zksp_delay_memory fresh) // [any]
{
    const float old = sampleRate;
    zksp_block::setSampleRate(rate);
    if (sampleRate == old)
        return fresh; // unchanged, or a rate the base refused
    zksp_delay_memory released;
    const bool taken = fresh.samples && fresh.size >= 1;
    if (taken) {
        if (buffer != fallbackSample) {
            released.samples = buffer;
            released.size = size;
        }
        buffer = fresh.samples;
        size = fresh.size;
        lastIndex = size - 1;
    } else {
        // Memory that could not be made: the line stays at its size, like a failed resize.
        released = fresh;
    }
    if (delaySamples >= size)
        delaySamples = size - 1;
    // Fresh memory is zeroed already (prepareMemory did it off the audio thread); the old
    // memory kept for want of new is cleared here.
    if (taken)
        restart();
    else
        reset();
    setDelayMs(delayMs);
    return released;
}

void zksp_delay::releaseMemory(zksp_delay_memory& memory) // [any] frees
{
    delete[] memory.samples;
    memory = zksp_delay_memory{};
}

float zksp_delay::process(float x) // [audio]
{
    buffer[writeIndex] = x;
    if (++writeIndex >= size)
        writeIndex = 0;
    const float y = buffer[readIndex];
    if (++readIndex >= size)
        readIndex = 0;
    return y;
}

void zksp_delay::resize(int samples) // [ui] while suspended
{
    // Sizes beyond kMaxSize are refused like a failed allocation: zeroing gigabytes on a
    // garbage request would stall the host.
    if (samples >= 1 && samples <= kMaxSize && samples != size) {
        float* fresh = new (std::nothrow) float[static_cast<std::size_t>(samples)];
        if (fresh) {
            // Keep what fits; reset() below clears it all the same.
            const int keep = std::min(samples, size);
            std::copy(buffer, buffer + keep, fresh);
            if (buffer != fallbackSample)
                delete[] buffer;
            buffer = fresh;
            size = samples;
            lastIndex = samples - 1;
        }
    }
    baseSize = size;
    baseRate = sampleRate;
    if (delaySamples >= size)
        delaySamples = size - 1;
    reset();
}

void zksp_delay::setDelaySamples(int samples) // [audio]
{
    if (samples < 0)
        samples = 0;
    delaySamples = samples;
    writeIndex = wrapIndex(static_cast<std::int64_t>(readIndex) + samples);
    delayMs = static_cast<float>(samples) / samplesPerMs;
}

void zksp_delay::setDelayMs(float ms) // [audio]
{
    delayMs = ms;
    // setDelaySamples stores the milliseconds of the whole samples actually taken.
    setDelaySamples(static_cast<int>(msToSamples(ms)));
}
