#pragma once

#include "dsp/zksp_block.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// One-pole smoother with separate rise (attack) and fall (release) times, updated once
// every `update interval` samples.
//
// State and target are held with 5.0 added: the recursion then settles toward 5.0 rather
// than 0.0 when the value goes to zero, so it never decays into subnormal numbers.
// Every setter that takes a value adds the offset, every getter subtracts it.
//
// Threads: the audio thread drives process/advance/current; the setters may run at the
// same time on another thread (host automation). Every field is a relaxed atomic written
// whole, so an update sees either the old or the new coefficient. The rate the coefficients
// are computed for is one of them (the block's own rate fields are for the thread that runs
// it): a time set while the audio thread applies a new rate ends up computed for the new rate
// (see updateCoefficients).
class zksp_smoother_lag_processor : public zksp_block
{
public:
    zksp_smoother_lag_processor();

    void reset() override {} // [any] a smoother is never reset
    // Base storage, then reset (nothing), then the coefficients for the new rate; the
    // current value is kept.
    void setSampleRate(float rate) override; // [ui] while suspended, or [audio]
    // Takes x as the new target and performs one update.
    float process(float x) override;               // [audio]
    void setBypass(bool on) override { (void)on; } // [any]

    virtual void setAttackTime(float seconds);  // [any]
    virtual void setReleaseTime(float seconds); // [any]
    // Samples between two updates; values below 1 count as 1.
    virtual void setUpdateInterval(int samples); // [any]
    // New goal; the current value is not touched.
    virtual void setTarget(float v); // [any]
    // The value becomes v at once.
    virtual void jumpTo(float v); // [any]
    // The value back to 0, where a new smoother starts, the target kept. [audio]
    void restart() { state.store(kOffset, std::memory_order_relaxed); }
    // One update toward the stored target; returns the new value.
    virtual float advance(); // [audio]
    // For two smoothers a and b and n samples: ya[i] = a.process(xa) and yb[i] = b.process(xb),
    // with the same results as calling process per sample. The states stay in registers and the
    // two chains run side by side.
    static inline void processRunPair(zksp_smoother_lag_processor& a,
                                      zksp_smoother_lag_processor& b, float xa, float xb, float* ya,
                                      float* yb, int n); // [audio]
    // The value without updating.
    virtual float current() const;     // [any]
    virtual void updateCoefficients(); // [any]

    float getAttackTime() const { return attackTime.load(std::memory_order_relaxed); }   // [any]
    float getReleaseTime() const { return releaseTime.load(std::memory_order_relaxed); } // [any]
    // The rate the coefficients are computed for: the block's rate, readable on any thread.
    float getCoefficientRate() const
    {
        return coefficientRate.load(std::memory_order_relaxed);
    } // [any]
    int getUpdateInterval() const
    {
        return updateInterval.load(std::memory_order_relaxed);
    } // [any]
    float getAttackCoefficient() const
    {
        return attackCoef.load(std::memory_order_relaxed);
    } // [any]
    float getReleaseCoefficient() const
    {
        return releaseCoef.load(std::memory_order_relaxed);
    } // [any]
    // The raw offset-encoded state and target (value + 5.0), for diagnostics and tests.
    float getEncodedState() const { return state.load(std::memory_order_relaxed); }   // [any]
    float getEncodedTarget() const { return target.load(std::memory_order_relaxed); } // [any]

    // Pole of a one-pole smoother: time t seconds, an update every n samples, rate r.
    // A time of 0 (or a negative or non-finite one) gives 0: the target is reached at the
    // next update.
    static float coefficientFor(float t, int n, float r); // [any]

    static constexpr float kOffset = 5.0f;

protected:
    // What the coefficients are computed from, as bits (a NaN time equals itself).
    struct CoefficientInputs
    {
        std::uint32_t attackTime, releaseTime, rate;
        int updateInterval;
        bool operator==(const CoefficientInputs&) const = default;
    };
    CoefficientInputs coefficientInputs() const; // [any]
    // Hands a coefficient over so that the one left by whichever writer hands over last is
    // computed from inputs as they stand after every other writer's (see updateCoefficients).
    static void publish(std::atomic<float>& coefficient, float value); // [any]

    // One update from state `before` toward target T with pole c (chosen by the caller).
    float step(float before, float T, float c);
    // The rare endings of an update, kept out of line so the common path stays short.
    float finishStep(float S, float T, float c);

    std::atomic<float> attackTime{0.005f};
    std::atomic<float> releaseTime{0.005f};
    std::atomic<int> updateInterval{1};
    std::atomic<float> coefficientRate{44100.0f};
    std::atomic<float> attackCoef;
    std::atomic<float> releaseCoef;
    std::atomic<float> state{kOffset};
    // A fresh smoother rests where it is: advance() before any target keeps the value 0.
    std::atomic<float> target{kOffset};
};

static_assert(std::atomic<float>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "smoother fields must be plain machine words");

// One-pole smoother with one time for both directions (the attack time and coefficient;
// the release fields keep their defaults).
class zksp_smoother : public zksp_smoother_lag_processor
{
public:
    zksp_smoother() = default;

    float process(float x) override;    // [audio]
    float advance() override;           // [audio]
    void updateCoefficients() override; // [any]
    // The same as setAttackTime.
    virtual void setTime(float seconds); // [any]
    // For two smoothers a and b and n samples: ab[2 i] = a.process(x) and ab[2 i + 1] =
    // b.process(x), both smoothers left as those calls leave them. The two chains run as two
    // lanes with their states in a register.
    static inline void processPair(zksp_smoother& a, zksp_smoother& b, float x, float* ab,
                                   int n); // [audio]
    // advance() n times, the values into t[0..n-1], with the state in a register over the run.
    inline void advanceRun(float* t, int n); // [audio]
    // a.advanceRun(ta, n) and b.advanceRun(tb, n) with the two chains in one loop: each update
    // waits on the one before it, so two chains side by side take the time of one.
    // Out of line: called once a stretch, and kept out of the fused loops' register use.
    static void advanceRunPair(zksp_smoother& a, zksp_smoother& b, float* ta, float* tb,
                               int n); // [audio]
    // True when advance() would leave the state exactly as it is: every update from now on
    // returns current(), until the target or the time changes.
    inline bool rests() const; // [audio]
};

inline float zksp_smoother_lag_processor::step(float before, float T, float c)
{
    float S = (before - T) * c + T;
    // Two rare cases leave the fast path: an update that rounds back to the old state short
    // of the target, and a non-finite result.
    if ((S == before && S != T) || S - S != 0.0f) [[unlikely]]
        S = finishStep(S, T, c);
    state.store(S, std::memory_order_relaxed);
    return S - kOffset;
}

inline float zksp_smoother_lag_processor::process(float x) // [audio]
{
    const float T = x + kOffset;
    target.store(T, std::memory_order_relaxed);
    const float S = state.load(std::memory_order_relaxed);
    // Rising uses the attack pole; equal values count as falling.
    const float c = T > S ? attackCoef.load(std::memory_order_relaxed)
                          : releaseCoef.load(std::memory_order_relaxed);
    return step(S, T, c);
}

inline float zksp_smoother_lag_processor::advance() // [audio]
{
    const float T = target.load(std::memory_order_relaxed);
    const float S = state.load(std::memory_order_relaxed);
    const float c = T > S ? attackCoef.load(std::memory_order_relaxed)
                          : releaseCoef.load(std::memory_order_relaxed);
    return step(S, T, c);
}

inline float zksp_smoother_lag_processor::current() const // [any]
{
    return state.load(std::memory_order_relaxed) - kOffset;
}

inline float zksp_smoother::process(float x) // [audio]
{
    const float T = x + kOffset;
    target.store(T, std::memory_order_relaxed);
    return step(state.load(std::memory_order_relaxed), T,
                attackCoef.load(std::memory_order_relaxed));
}

inline float zksp_smoother::advance() // [audio]
{
    return step(state.load(std::memory_order_relaxed), target.load(std::memory_order_relaxed),
                attackCoef.load(std::memory_order_relaxed));
}

inline void zksp_smoother::advanceRun(float* t, int n) // [audio]
{
    const float T = target.load(std::memory_order_relaxed);
    const float c = attackCoef.load(std::memory_order_relaxed);
    float S = state.load(std::memory_order_relaxed);
    int i = 0;
    for (; i < n; ++i) {
        const float next = (S - T) * c + T;
        // The rare endings of step() are left to it, update by update, from here on.
        if ((next == S && next != T) || next - next != 0.0f) [[unlikely]]
            break;
        S = next;
        t[i] = next - kOffset;
    }
    state.store(S, std::memory_order_relaxed);
    for (; i < n; ++i)
        t[i] = zksp_smoother::advance();
}

inline bool zksp_smoother::rests() const // [audio]
{
    const float T = target.load(std::memory_order_relaxed);
    const float S = state.load(std::memory_order_relaxed);
    const float next = (S - T) * attackCoef.load(std::memory_order_relaxed) + T;
    // Landing on a target that compares equal also rules out both rare endings of step() (the
    // target is then finite); the same bits as before mean the next update repeats this one.
    return next == T && std::bit_cast<std::uint32_t>(next) == std::bit_cast<std::uint32_t>(S);
}

inline void zksp_smoother_lag_processor::processRunPair(zksp_smoother_lag_processor& a,
                                                        zksp_smoother_lag_processor& b, float xa,
                                                        float xb, float* ya, float* yb,
                                                        int n) // [audio]
{
    const float Ta = xa + kOffset;
    const float Tb = xb + kOffset;
    a.target.store(Ta, std::memory_order_relaxed);
    b.target.store(Tb, std::memory_order_relaxed);
    const float attackA = a.attackCoef.load(std::memory_order_relaxed);
    const float releaseA = a.releaseCoef.load(std::memory_order_relaxed);
    const float attackB = b.attackCoef.load(std::memory_order_relaxed);
    const float releaseB = b.releaseCoef.load(std::memory_order_relaxed);
    float Sa = a.state.load(std::memory_order_relaxed);
    float Sb = b.state.load(std::memory_order_relaxed);
    int i = 0;
    for (; i < n; ++i) {
        const float ca = Ta > Sa ? attackA : releaseA;
        const float cb = Tb > Sb ? attackB : releaseB;
        const float na = (Sa - Ta) * ca + Ta;
        const float nb = (Sb - Tb) * cb + Tb;
        // The rare endings of step() are left to it, sample by sample, from here on.
        if ((na == Sa && na != Ta) || na - na != 0.0f || (nb == Sb && nb != Tb) || nb - nb != 0.0f)
            [[unlikely]]
            break;
        Sa = na;
        Sb = nb;
        ya[i] = na - kOffset;
        yb[i] = nb - kOffset;
    }
    a.state.store(Sa, std::memory_order_relaxed);
    b.state.store(Sb, std::memory_order_relaxed);
    for (; i < n; ++i) {
        ya[i] = a.process(xa);
        yb[i] = b.process(xb);
    }
}

inline void zksp_smoother::processPair(zksp_smoother& a, zksp_smoother& b, float x, float* ab,
                                       int n) // [audio]
{
#if defined(__SSE2__)
    if (n <= 0)
        return;
    const float T = x + kOffset;
    const float ca = a.attackCoef.load(std::memory_order_relaxed);
    const float cb = b.attackCoef.load(std::memory_order_relaxed);
    const float Sa = a.state.load(std::memory_order_relaxed);
    const float Sb = b.state.load(std::memory_order_relaxed);
    // Both at a finite target (the same bits) with finite poles: every update gives
    // (+0 * c) + T = T again, the value stays and nothing but the target is stored.
    const std::uint32_t bitsT = std::bit_cast<std::uint32_t>(T);
    if (std::bit_cast<std::uint32_t>(Sa) == bitsT && std::bit_cast<std::uint32_t>(Sb) == bitsT &&
        T - T == 0.0f && ca - ca == 0.0f && cb - cb == 0.0f) {
        const __m128 v = _mm_set1_ps(T - kOffset);
        int i = 0;
        for (; i + 2 <= n; i += 2)
            _mm_storeu_ps(ab + 2 * i, v);
        if (i < n)
            _mm_storel_pi(reinterpret_cast<__m64*>(ab + 2 * i), v);
        a.target.store(T, std::memory_order_relaxed);
        b.target.store(T, std::memory_order_relaxed);
        return;
    }
    // Lanes 2 and 3 rest at 0 with a pole of 0, so they never take the rare path.
    const __m128 target = _mm_setr_ps(T, T, 0.0f, 0.0f);
    const __m128 pole = _mm_setr_ps(ca, cb, 0.0f, 0.0f);
    const __m128 offset = _mm_set1_ps(kOffset);
    __m128 S = _mm_setr_ps(Sa, Sb, 0.0f, 0.0f);
    bool lastByProcess = false;
    for (int i = 0; i < n; ++i) {
        const __m128 next = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(S, target), pole), target);
        // step()'s two rare cases, in any lane: an update that rounds back to the old state
        // short of the target, and a non-finite result.
        const __m128 stalled = _mm_and_ps(_mm_cmpeq_ps(next, S), _mm_cmpneq_ps(next, target));
        const __m128 nonFinite = _mm_cmpneq_ps(_mm_sub_ps(next, next), _mm_setzero_ps());
        lastByProcess = _mm_movemask_ps(_mm_or_ps(stalled, nonFinite)) != 0;
        if (lastByProcess) [[unlikely]] {
            // This sample is left to process() itself, lanes written back and read again.
            float s[4];
            _mm_storeu_ps(s, S);
            a.state.store(s[0], std::memory_order_relaxed);
            b.state.store(s[1], std::memory_order_relaxed);
            ab[2 * i] = a.zksp_smoother::process(x);
            ab[2 * i + 1] = b.zksp_smoother::process(x);
            S = _mm_setr_ps(a.state.load(std::memory_order_relaxed),
                            b.state.load(std::memory_order_relaxed), 0.0f, 0.0f);
            continue;
        }
        S = next;
        _mm_storel_pi(reinterpret_cast<__m64*>(ab + 2 * i), _mm_sub_ps(S, offset));
    }
    float s[4];
    _mm_storeu_ps(s, S);
    a.state.store(s[0], std::memory_order_relaxed);
    b.state.store(s[1], std::memory_order_relaxed);
    // Every process() stores the target; one that ended non-finite may have replaced it.
    if (!lastByProcess) {
        a.target.store(T, std::memory_order_relaxed);
        b.target.store(T, std::memory_order_relaxed);
    }
#else
    for (int i = 0; i < n; ++i) {
        ab[2 * i] = a.zksp_smoother::process(x);
        ab[2 * i + 1] = b.zksp_smoother::process(x);
    }
#endif
}
