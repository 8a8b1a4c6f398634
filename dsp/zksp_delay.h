#pragma once

#include "dsp/zksp_block.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Sample memory for a delay line: made ready on a thread that may allocate, taken over by the
// line without allocating, and handed back when replaced so it is freed off the audio thread.
struct zksp_delay_memory
{
    float* samples = nullptr;
    int size = 0;
};

// Circular delay line with an integer delay. The sample memory is allocated only in the
// constructor, resize() and setSampleRate(), never while processing.
//
// Every index stays inside the buffer whatever the caller hands in: negative, NaN or infinite
// delays count as 0, delays of a buffer length or more wrap modulo the buffer length, and a
// failed allocation keeps the previous buffer.
class zksp_delay : public zksp_block
{
public:
    zksp_delay();
    ~zksp_delay() override;
    zksp_delay(const zksp_delay&) = delete;
    zksp_delay& operator=(const zksp_delay&) = delete;

    // All samples := 0; read index := 0; write index := the delay in samples (modulo the size).
    void reset() override; // [ui] while suspended
    // The same reset without clearing where it lands: `cleared` (zeroed memory of the line's
    // size, from clearedMemory) replaces the samples, and the memory no longer used is
    // returned to be released off the audio thread. Memory of any other size is not taken: the
    // line is cleared in place and `cleared` itself is returned.
    zksp_delay_memory reset(zksp_delay_memory cleared); // [any] no allocation
    // Keeps the line's length in seconds (plus four samples) and its delay in milliseconds. The
    // length in seconds is the one of the last resize(), so a detour through an extreme rate
    // leaves no trace in the size.
    void setSampleRate(float rate) override; // [ui] while suspended

    // The same change in two halves, for a rate change that must not allocate where it lands:
    // prepareMemory (any thread, even while the line runs) makes zeroed memory of the size the
    // line takes at `rate` (nothing when the allocation fails); setSampleRate then
    // takes it without allocating and returns the memory it no longer uses (or `fresh` itself
    // when it was not taken), which the caller releases where freeing is allowed. `fresh` must
    // be zeroed, as prepareMemory makes it: the line takes it as its cleared samples.
    zksp_delay_memory prepareMemory(float rate) const;                    // [any] allocates
    zksp_delay_memory setSampleRate(float rate, zksp_delay_memory fresh); // [any] no allocation
    static void releaseMemory(zksp_delay_memory& memory);                 // [any] frees
    // Zeroed memory of `samples` samples (1..kMaxSize; nothing otherwise or when the allocation
    // fails), for reset(cleared).
    static zksp_delay_memory clearedMemory(int samples); // [any] allocates
    // Capacity in samples at `rate`: the length in seconds of the last resize() plus four
    // samples, at most kMaxSize.
    int capacityFor(float rate) const; // [any]
    // Write, then read: returns the sample written `delay samples` calls ago.
    float process(float x) override; // [audio]

    // New capacity of n samples, then reset(). n < 1, n > kMaxSize or a failed allocation keeps
    // the old buffer and size. A delay that no longer fits becomes size - 1.
    virtual void resize(int samples);          // [ui] while suspended
    virtual void setDelaySamples(int samples); // [audio]
    virtual void setDelayMs(float ms);         // [audio]

    int getSize() const { return size; }                 // [any]
    int getReadIndex() const { return readIndex; }       // [any]
    int getWriteIndex() const { return writeIndex; }     // [any]
    int getDelaySamples() const { return delaySamples; } // [any]
    float getDelayMs() const { return delayMs; }         // [any]
    const float* data() const { return buffer; }         // [any] for tests and diagnostics

    // Longest delay taken, in samples; longer requests are limited to it (and then wrap).
    static constexpr float kMaxDelaySamples = 1073741824.0f; // 2^30
    // Largest capacity taken: 2^26 samples (256 MB), over 10 minutes at 96 kHz.
    static constexpr int kMaxSize = 1 << 26;

protected:
    // The positions of a cleared line: read index 0, write index the delay (modulo the size).
    void restart();
    // Index i folded into [0, size); i may be any 64-bit value.
    int wrapIndex(std::int64_t i) const
    {
        // One buffer length either way is the common case (a delay shorter than the line);
        // only longer delays need the division.
        if (i < 0)
            i += size;
        else if (i >= size)
            i -= size;
        if (i >= 0 && i < size)
            return static_cast<int>(i);
        std::int64_t r = i % size;
        if (r < 0)
            r += size;
        return static_cast<int>(r);
    }
    // Milliseconds to samples with NaN, negative and huge values made safe.
    float msToSamples(float ms) const
    {
        const float d = ms * samplesPerMs;
        if (d >= 0.0f && d <= kMaxDelaySamples)
            return d;
        return d > kMaxDelaySamples ? kMaxDelaySamples : 0.0f; // negative or NaN: no delay
    }

    float* buffer;
    int size;
    int readIndex = 0;
    int writeIndex = 2048;
    int lastIndex;
    int delaySamples = 2048;
    float delayMs = 2048.0f / 44.1f;
    // The size and rate of the last resize(): the line's length in seconds that rate changes keep.
    int baseSize;
    float baseRate = 44100.0f;

private:
    // Used only if even the first allocation fails, so the line always has memory to index.
    float fallbackSample[1] = {0.0f};
};

// Base of the interpolating lines; adds nothing of its own.
class zksp_delay_interp : public zksp_delay
{
protected:
    zksp_delay_interp() = default;
};

// Delay line read through a first-order allpass, so the delay can be fractional and glide
// smoothly. setDelayFractional sets the read position afresh from the write position on every
// call, which is what lets a delay that changes every sample move without clicks.
class zksp_delay_allpass : public zksp_delay_interp
{
public:
    zksp_delay_allpass() = default;

    // Reads, then writes: the output holds the sample written ip + 1 calls ago and the one before
    // it, blended through the allpass.
    float process(float x) override;    // [audio]
    void setDelayMs(float ms) override; // [audio]
    // d < 1 becomes d + 1; delays beyond the buffer wrap modulo its length.
    virtual void setDelayFractional(float samples); // [audio]
    // reset() and the allpass's memory too: the line as a new one starts. No allocation; the
    // time it takes grows with the line's length.
    void clear() // [audio]
    {
        reset();
        allpassState = 0.0f;
    }

    float getAllpassCoefficient() const { return allpassCoefficient; } // [any]
    float getAllpassState() const { return allpassState; }             // [any]

    // A fraction above 0 gives at most this coefficient. The allpass pole sits at minus the
    // coefficient; next to -1 whatever the filter holds at Nyquist (from a change of delay, or
    // the line's start) would ring on for seconds at low rates; here it dies within about 128
    // samples, while the allpass delay it gives up is below 0.004 samples.
    static constexpr float kMaxAllpassCoefficient = 1.0f - 1.0f / 128.0f;
    // Outputs smaller than this count as silence, so the state never decays into subnormal
    // numbers while the line reads samples it has not yet been given.
    static constexpr float kSilence = 1e-30f;

private:
    // The delay of d samples, d already within 0..kMaxDelaySamples.
    void applyDelay(float d);

    float allpassCoefficient = 1.0f;
    float allpassState = 0.0f;

    friend class zksp_delay_allpass_pair;
};

// The per-sample operations are inline: the delay engine calls both on every sample.

inline float zksp_delay_allpass::process(float x) // [audio]
{
    const int r = readIndex;
    // The sample at r and the one written just before it (at the end of the buffer for r = 0).
    const float older = r > 0 ? buffer[r - 1] : buffer[lastIndex];
    // A whole-sample delay (coefficient 1) is the plain delayed sample: read through the
    // allpass, its pole at z = -1 would keep any error at Nyquist for good.
    float y = allpassCoefficient < 1.0f ? (buffer[r] - allpassState) * allpassCoefficient + older
                                        : buffer[r];
    if (std::fabs(y) < kSilence)
        y = 0.0f;
    allpassState = y;
    readIndex = r + 1 > lastIndex ? 0 : r + 1;
    buffer[writeIndex] = x;
    if (++writeIndex >= size)
        writeIndex = 0;
    return y;
}

inline void zksp_delay_allpass::setDelayMs(float ms) // [audio]
{
    // Kept for setSampleRate, which re-applies it; a NaN or negative time is kept as 0.
    delayMs = ms >= 0.0f ? ms : 0.0f;
    applyDelay(msToSamples(ms));
}

inline void zksp_delay_allpass::setDelayFractional(float d) // [audio]
{
    if (!(d >= 0.0f))
        d = 0.0f; // negative or NaN
    else if (d > kMaxDelaySamples)
        d = kMaxDelaySamples;
    applyDelay(d);
}

inline void zksp_delay_allpass::applyDelay(float d)
{
    if (d < 1.0f)
        d += 1.0f;
    // d is within 1..2^30 here, so the conversion truncates exactly like trunc(d).
    const int ip = static_cast<int>(d);
    const float fr = d - static_cast<float>(ip);
    delaySamples = ip;
    allpassCoefficient = fr > 0.0f ? std::min(1.0f - fr, kMaxAllpassCoefficient) : 1.0f;
    readIndex = wrapIndex(static_cast<std::int64_t>(writeIndex) - (ip + std::int64_t{1}));
}

#if defined(__SSE2__)
// Two of these lines run side by side over a stretch of samples, line a in float lane 0 and b in
// lane 1: the positions in registers, the allpass of both in one SSE2 register. process() is
// process() of each line, the same single-precision operations in the same order, so the same
// bits. Between the constructor and store() the lines are used only through setDelayMsA/B.
class zksp_delay_allpass_pair
{
public:
    inline zksp_delay_allpass_pair(zksp_delay_allpass& a, zksp_delay_allpass& b); // [audio]
    inline void store();                                                          // [audio]
    // setDelayMs of line a or b in the middle of the run.
    inline void setDelayMsA(float ms); // [audio]
    inline void setDelayMsB(float ms); // [audio]

    // x: a's input in lane 0, b's in lane 1; the outputs in the same lanes.
    inline __m128 process(__m128 x); // [audio]

    // True when the next n steps move no position across the end of a buffer, nor read at 0
    // (whose older sample sits at the end): those steps may then run as processStraight(x, i)
    // for i = 0 .. n - 1, followed by skipStraight(n). Takes the positions of the run's start,
    // which processStraight addresses from.
    inline bool startStraight(int n);                          // [audio]
    inline __m128 processStraight(__m128 x, std::ptrdiff_t i); // [audio]
    inline void skipStraight(int n);                           // [audio]

private:
    // The allpass and its silence flush on both lanes, from the samples at the read positions and
    // the ones written just before them.
    inline __m128 read(__m128 current, __m128 older);

    zksp_delay_allpass& a;
    zksp_delay_allpass& b;
    float* const bufferA;
    float* const bufferB;
    const int sizeA, sizeB, lastA, lastB;
    int readA, readB, writeA, writeB;
    __m128 coefficients, state;
    // The run's start positions for processStraight, which nothing but startStraight moves.
    const float* straightReadA = nullptr;
    const float* straightReadB = nullptr;
    float* straightWriteA = nullptr;
    float* straightWriteB = nullptr;
};

inline zksp_delay_allpass_pair::zksp_delay_allpass_pair(zksp_delay_allpass& la,
                                                        zksp_delay_allpass& lb)
    : a(la), b(lb), bufferA(la.buffer), bufferB(lb.buffer), sizeA(la.size), sizeB(lb.size),
      lastA(la.lastIndex), lastB(lb.lastIndex), readA(la.readIndex), readB(lb.readIndex),
      writeA(la.writeIndex), writeB(lb.writeIndex),
      coefficients(
          _mm_unpacklo_ps(_mm_set_ss(la.allpassCoefficient), _mm_set_ss(lb.allpassCoefficient))),
      state(_mm_unpacklo_ps(_mm_set_ss(la.allpassState), _mm_set_ss(lb.allpassState)))
{}

inline void zksp_delay_allpass_pair::store() // [audio]
{
    a.readIndex = readA;
    b.readIndex = readB;
    a.writeIndex = writeA;
    b.writeIndex = writeB;
    a.allpassState = _mm_cvtss_f32(state);
    b.allpassState = _mm_cvtss_f32(_mm_shuffle_ps(state, state, 1));
}

inline void zksp_delay_allpass_pair::setDelayMsA(float ms) // [audio]
{
    a.writeIndex = writeA;
    a.zksp_delay_allpass::setDelayMs(ms);
    readA = a.readIndex;
    coefficients = _mm_move_ss(coefficients, _mm_set_ss(a.allpassCoefficient));
}

inline void zksp_delay_allpass_pair::setDelayMsB(float ms) // [audio]
{
    b.writeIndex = writeB;
    b.zksp_delay_allpass::setDelayMs(ms);
    readB = b.readIndex;
    coefficients = _mm_unpacklo_ps(coefficients, _mm_set_ss(b.allpassCoefficient));
}

inline __m128 zksp_delay_allpass_pair::read(__m128 current, __m128 older)
{
    // (current - state) * coefficient + older where the coefficient is below 1, else current.
    const __m128 fractional = _mm_cmplt_ps(coefficients, _mm_set1_ps(1.0f));
    const __m128 allpass = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(current, state), coefficients), older);
    __m128 y = _mm_or_ps(_mm_and_ps(fractional, allpass), _mm_andnot_ps(fractional, current));
    // |y| below kSilence becomes 0.
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), y);
    y = _mm_andnot_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(zksp_delay_allpass::kSilence)), y);
    state = y;
    return y;
}

inline __m128 zksp_delay_allpass_pair::process(__m128 x) // [audio]
{
    const int ra = readA;
    const int rb = readB;
    const float olderA = ra > 0 ? bufferA[ra - 1] : bufferA[lastA];
    const float olderB = rb > 0 ? bufferB[rb - 1] : bufferB[lastB];
    const __m128 y = read(_mm_unpacklo_ps(_mm_set_ss(bufferA[ra]), _mm_set_ss(bufferB[rb])),
                          _mm_unpacklo_ps(_mm_set_ss(olderA), _mm_set_ss(olderB)));
    readA = ra + 1 > lastA ? 0 : ra + 1;
    readB = rb + 1 > lastB ? 0 : rb + 1;
    bufferA[writeA] = _mm_cvtss_f32(x);
    bufferB[writeB] = _mm_cvtss_f32(_mm_shuffle_ps(x, x, 1));
    if (++writeA >= sizeA)
        writeA = 0;
    if (++writeB >= sizeB)
        writeB = 0;
    return y;
}

inline bool zksp_delay_allpass_pair::startStraight(int n) // [audio]
{
    straightReadA = bufferA + readA;
    straightReadB = bufferB + readB;
    straightWriteA = bufferA + writeA;
    straightWriteB = bufferB + writeB;
    return readA >= 1 && readA + n <= lastA && writeA + n < sizeA && readB >= 1 &&
           readB + n <= lastB && writeB + n < sizeB;
}

inline __m128 zksp_delay_allpass_pair::processStraight(__m128 x, std::ptrdiff_t i) // [audio]
{
    const float* const ra = straightReadA;
    const float* const rb = straightReadB;
    const __m128 y = read(_mm_unpacklo_ps(_mm_set_ss(ra[i]), _mm_set_ss(rb[i])),
                          _mm_unpacklo_ps(_mm_set_ss(ra[i - 1]), _mm_set_ss(rb[i - 1])));
    straightWriteA[i] = _mm_cvtss_f32(x);
    straightWriteB[i] = _mm_cvtss_f32(_mm_shuffle_ps(x, x, 1));
    return y;
}

inline void zksp_delay_allpass_pair::skipStraight(int n) // [audio]
{
    readA += n;
    readB += n;
    writeA += n;
    writeB += n;
}
#endif
