#pragma once

#include "dsp/zk_math.h"
#include "dsp/zksp_block.h"
#include "dsp/zksp_sample_guard.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Base of the frequency shifters; adds nothing of its own.
class zksp_freqShifter : public zksp_block
{
protected:
    zksp_freqShifter() = default;
};

// Single-sideband frequency shifter with feedback. Two chains of allpass sections split the
// signal into branches 90 degrees apart over the audio band; multiplied by the cosine and sine of
// an oscillator at the shift frequency and added, they move every partial by the same number of
// hertz. A DC-blocked, clamped and softly saturated copy of the output is fed back to the input.
//
// The phase network and the oscillator follow the host's rate (setSampleRate), so a shift sounds
// the same at 44.1, 48 or 96 kHz. reset() does nothing: phase and states persist.
class zksp_SCfreqShifter final : public zksp_freqShifter
{
public:
    zksp_SCfreqShifter();

    void reset() override {} // [any] the shifter is never cleared
    // Recomputes the phase network and the phase increment for the new rate; states are kept.
    void setSampleRate(float rate) override; // [ui] while suspended
    inline float process(float x) override;  // [audio]
    // One sample through each of two shifters (the two channels): the same results as
    // l.process(xl) and r.process(xr), with one sine and cosine when their phases are equal.
    static inline void processPair(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r, float& xl,
                                   float& xr); // [audio]
    static constexpr int kMaxStretch = 32;
#if defined(__SSE2__)
    class PairKernel;
#endif

    // Shift in Hz, negative for downward. Non-finite counts as 0; a shift beyond the sample
    // rate is taken modulo it (the same oscillator), so the phase always stays within a period.
    virtual void setFrequency(float hz); // [audio] control tick
    // Feedback amount 0..1 (limited; NaN counts as 0), gain := amount * 0.4999 + 0.0001.
    virtual void setFeedback(float amount); // [audio] control tick

    // One second-order allpass section, direct form II. In this form the numerator is the
    // denominator reversed: b0 = a2, b1 = a1 and b2 = 1, so the last tap is w2 itself. The
    // offset, added to the older state with a sign that alternates every sample, keeps silence
    // from decaying into subnormal numbers; all six sections share one, held by the shifter.
    struct Section
    {
        float a1 = 0.0f, a2 = 0.0f, b0 = 0.0f, b1 = 0.0f;
        float w1 = 0.0f, w2 = 0.0f;

        float process(float s, float denormalOffset)
        {
            const float w = s - a1 * w1 - a2 * w2;
            const float y = b0 * w + b1 * w1 + w2;
            w2 = w1 + denormalOffset;
            w1 = w;
            return y;
        }
    };

    float getFrequency() const
    {
        return frequency;
    } // [audio]
    float getFeedbackGain() const
    {
        return feedbackGain;
    } // [audio]
    float getPhaseIncrement() const
    {
        return phaseIncrement;
    } // [audio]
    float getPhase() const
    {
        return phase;
    } // [audio]
    float getFeedbackState() const
    {
        return feedbackState;
    } // [audio]
    float getDcAccumulator() const
    {
        return dcAccumulator;
    } // [audio]
    float getCoefficient(int k) const
    {
        return coefficients[k];
    } // [any] k = 0..11
    const Section& getSection(int k) const
    {
        return sections[k];
    } // [any] A1 A2 A3 B1 B2 B3

    static constexpr float kTwoPi = 6.2831855f;

private:
    // The oscillator's next phase, stored and returned.
    inline float advancePhase(); // [audio]
    // One sample with the oscillator's sine and cosine at the current phase.
    inline float processAt(float x, float sn, float cs); // [audio]

    void computeNetwork();
    void computeIncrement();

    float frequency = 0.0f;
    float feedbackGain = 0.0001f;
    float phaseIncrement = 0.0f;
    float phase = 0.0f;
    float coefficients[12] = {};
    float feedbackState = 0.0f;
    float dcAccumulator = 0.0f;
    float denormalOffset = 1.0e-12f;
    Section sections[6];
};

inline float zksp_SCfreqShifter::advancePhase() // [audio]
{
    float p = phase + phaseIncrement;
    if (p >= kTwoPi)
        p -= kTwoPi;
    if (p < 0.0f)
        p += kTwoPi;
    phase = p;
    return p;
}

inline float zksp_SCfreqShifter::processAt(float x, float sn, float cs) // [audio]
{
    // A NaN or infinite sample would stick in the sections and the DC blocker for good.
    const float in = zksp_guard_sample(x) + feedbackGain * feedbackState;

    const float off = denormalOffset;
    denormalOffset = -off;
    const float A =
        sections[2].process(sections[1].process(sections[0].process(in, off), off), off);
    const float B =
        sections[5].process(sections[4].process(sections[3].process(in, off), off), off);
    const float out = sn * B + cs * A;

    // DC blocker with pole 0.995, then a clamp to [-1, 1] and a parabolic soft saturation.
    const float dc = dcAccumulator;
    const float acc = dc * 0.995f + out;
    const float d = acc - dc;
    dcAccumulator = acc;
    const float c = (std::fabs(d + 1.0f) - std::fabs(d - 1.0f)) * 0.5f;
    feedbackState = 2.0f * c - std::fabs(c) * c;
    return out;
}

inline float zksp_SCfreqShifter::process(float x) // [audio]
{
    // The oscillator does not depend on the signal: it goes first, so the sine and cosine
    // run while the feedback path's values stay in registers.
    float sn, cs;
    zk_sincosf(advancePhase(), sn, cs);
    return processAt(x, sn, cs);
}

inline void zksp_SCfreqShifter::processPair(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r, float& xl,
                                            float& xr) // [audio]
{
    const float pl = l.advancePhase();
    const float pr = r.advancePhase();
    float snl, csl, snr, csr;
    zk_sincosf(pl, snl, csl);
    // The two oscillators normally run in step; then the right one's sine and cosine are the
    // left one's bits. Compared as bits, so that -0 and +0 are not taken for each other.
    std::uint32_t bl, br;
    std::memcpy(&bl, &pl, sizeof bl);
    std::memcpy(&br, &pr, sizeof br);
    if (bl == br) {
        snr = snl;
        csr = csl;
    } else {
        zk_sincosf(pr, snr, csr);
    }
    xl = l.processAt(xl, snl, csl);
    xr = r.processAt(xr, snr, csr);
}

// The pair kernel reads a section's coefficients and states as rows of adjacent floats.
static_assert(offsetof(zksp_SCfreqShifter::Section, b1) == 3 * sizeof(float) &&
              offsetof(zksp_SCfreqShifter::Section, w1) == 4 * sizeof(float) &&
              offsetof(zksp_SCfreqShifter::Section, w2) == 5 * sizeof(float));

#if defined(__SSE2__)
// Two shifters (the two channels) over one stretch of 1..kMaxStretch samples, a sample at a
// time: step() gives the bits processPair gives. The four allpass chains L-A, R-A, L-B, R-B are
// the lanes of one register per section state, the feedback path runs in lanes 0 and 1 (left,
// right). The oscillators do not depend on the signal, so the constructor takes all phases of
// the stretch and their sines and cosines, keeping that work off the feedback loop.
// Constructed at the stretch start, step() exactly n times, then finish() once; the shifters
// must not be touched in between. With n = 0 the kernel stays idle: it reads nothing, and
// neither step() nor finish() may be called.
class zksp_SCfreqShifter::PairKernel
{
public:
    PairKernel(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r, int n); // [audio]
    // Guarded inputs in lanes 0 (left) and 1 (right); the outputs come in the same lanes.
    inline __m128 step(__m128 x); // [audio]
    inline void finish();         // [audio] writes the states back into the shifters

private:
    // Section k (0..2) of the four chains L-A, R-A, L-B, R-B, read and written as whole rows
    // of a section's adjacent floats (a1 a2 b0 b1, w1 w2).
    inline void gather(int k, __m128& a1, __m128& a2, __m128& w1, __m128& w2) const;
    inline void scatter(int k, __m128 w1, __m128 w2) const;

    zksp_SCfreqShifter& l;
    zksp_SCfreqShifter& r;
    // Per sample, the factors of the four chains' outputs: cosine, cosine, sine, sine.
    __m128 factor[kMaxStretch];
    int next = 0;
    // Sections 0, 1 and 2 of the chains (x, y, z). Named, not an array, so that the compiler
    // can keep every state in a register.
    __m128 a1x{}, a2x{}, w1x{}, w2x{}, a1y{}, a2y{}, w1y{}, w2y{}, a1z{}, a2z{}, w1z{}, w2z{};
    __m128 gain{}, off{}, fb{}, dc{};
};

inline zksp_SCfreqShifter::PairKernel::PairKernel(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r,
                                                  int n) // [audio]
    : l(l), r(r)
{
    if (n <= 0)
        return;
    // All phases of the stretch first, then their sines and cosines four at a time. Equal
    // phase and increment bits give both channels the same phases: one sine and cosine then.
    alignas(16) float phaseL[kMaxStretch], phaseR[kMaxStretch];
    const bool shared =
        std::bit_cast<std::uint32_t>(l.phase) == std::bit_cast<std::uint32_t>(r.phase) &&
        std::bit_cast<std::uint32_t>(l.phaseIncrement) ==
            std::bit_cast<std::uint32_t>(r.phaseIncrement);
    const int padded = (n + 3) & ~3;
    for (int i = 0; i < n; ++i) {
        phaseL[i] = l.advancePhase();
    }
    if (shared) {
        r.phase = l.phase;
    } else {
        for (int i = 0; i < n; ++i) {
            phaseR[i] = r.advancePhase();
        }
    }
    for (int i = n; i < padded; ++i) {
        phaseL[i] = phaseR[i] = 0.0f;
    }
    for (int i = 0; i < padded; i += 4) {
        __m128 snl, csl, snr, csr;
        zk_sincosf4(_mm_load_ps(phaseL + i), snl, csl);
        if (shared) {
            snr = snl;
            csr = csl;
        } else {
            zk_sincosf4(_mm_load_ps(phaseR + i), snr, csr);
        }
        const __m128 cLo = _mm_unpacklo_ps(csl, csr), sLo = _mm_unpacklo_ps(snl, snr);
        const __m128 cHi = _mm_unpackhi_ps(csl, csr), sHi = _mm_unpackhi_ps(snl, snr);
        factor[i] = _mm_movelh_ps(cLo, sLo);
        factor[i + 1] = _mm_movehl_ps(sLo, cLo);
        factor[i + 2] = _mm_movelh_ps(cHi, sHi);
        factor[i + 3] = _mm_movehl_ps(sHi, cHi);
    }

    gather(0, a1x, a2x, w1x, w2x);
    gather(1, a1y, a2y, w1y, w2y);
    gather(2, a1z, a2z, w1z, w2z);
    gain = _mm_setr_ps(l.feedbackGain, r.feedbackGain, l.feedbackGain, r.feedbackGain);
    off = _mm_setr_ps(l.denormalOffset, r.denormalOffset, l.denormalOffset, r.denormalOffset);
    fb = _mm_setr_ps(l.feedbackState, r.feedbackState, l.feedbackState, r.feedbackState);
    dc = _mm_setr_ps(l.dcAccumulator, r.dcAccumulator, l.dcAccumulator, r.dcAccumulator);
}

inline void zksp_SCfreqShifter::PairKernel::gather(int k, __m128& a1, __m128& a2, __m128& w1,
                                                   __m128& w2) const
{
    const Section* const c[4] = {&l.sections[k], &r.sections[k], &l.sections[k + 3],
                                 &r.sections[k + 3]};
    const __m128 zero = _mm_setzero_ps();
    __m128 lo = _mm_unpacklo_ps(_mm_loadu_ps(&c[0]->a1), _mm_loadu_ps(&c[1]->a1));
    __m128 hi = _mm_unpacklo_ps(_mm_loadu_ps(&c[2]->a1), _mm_loadu_ps(&c[3]->a1));
    a1 = _mm_movelh_ps(lo, hi);
    a2 = _mm_movehl_ps(hi, lo);
    lo = _mm_unpacklo_ps(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&c[0]->w1)),
                         _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&c[1]->w1)));
    hi = _mm_unpacklo_ps(_mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&c[2]->w1)),
                         _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&c[3]->w1)));
    w1 = _mm_movelh_ps(lo, hi);
    w2 = _mm_movehl_ps(hi, lo);
}

inline void zksp_SCfreqShifter::PairKernel::scatter(int k, __m128 w1, __m128 w2) const
{
    Section* const c[4] = {&l.sections[k], &r.sections[k], &l.sections[k + 3], &r.sections[k + 3]};
    const __m128 lo = _mm_unpacklo_ps(w1, w2);
    const __m128 hi = _mm_unpackhi_ps(w1, w2);
    _mm_storel_pi(reinterpret_cast<__m64*>(&c[0]->w1), lo);
    _mm_storeh_pi(reinterpret_cast<__m64*>(&c[1]->w1), lo);
    _mm_storel_pi(reinterpret_cast<__m64*>(&c[2]->w1), hi);
    _mm_storeh_pi(reinterpret_cast<__m64*>(&c[3]->w1), hi);
}

inline void zksp_SCfreqShifter::PairKernel::finish() // [audio]
{
    alignas(16) float lanes[4];
    const auto scatterPair = [&lanes](__m128 v, float& left, float& right) {
        _mm_store_ps(lanes, v);
        left = lanes[0];
        right = lanes[1];
    };
    scatterPair(off, l.denormalOffset, r.denormalOffset);
    scatterPair(fb, l.feedbackState, r.feedbackState);
    scatterPair(dc, l.dcAccumulator, r.dcAccumulator);
    scatter(0, w1x, w2x);
    scatter(1, w1y, w2y);
    scatter(2, w1z, w2z);
}

inline __m128 zksp_SCfreqShifter::PairKernel::step(__m128 x) // [audio]
{
    // computeNetwork gives every section b0 = a2 and b1 = a1 (the same products), so the
    // product b1 * w1 is the a1 * w1 already formed. Lanes 2 and 3 of the feedback path
    // follow along unused.
    __m128 s = _mm_add_ps(x, _mm_mul_ps(gain, fb));
    s = _mm_movelh_ps(s, s);
    const __m128 o = off;
    const auto section = [&s, o](__m128 a1, __m128 a2, __m128& w1, __m128& w2) {
        const __m128 p1 = _mm_mul_ps(a1, w1);
        const __m128 w = _mm_sub_ps(_mm_sub_ps(s, p1), _mm_mul_ps(a2, w2));
        s = _mm_add_ps(_mm_add_ps(_mm_mul_ps(a2, w), p1), w2);
        w2 = _mm_add_ps(w1, o);
        w1 = w;
    };
    section(a1x, a2x, w1x, w2x);
    section(a1y, a2y, w1y, w2y);
    section(a1z, a2z, w1z, w2z);
    off = _mm_xor_ps(o, _mm_set1_ps(-0.0f));
    // sn * B + cs * A in lanes 0 and 1.
    const __m128 p = _mm_mul_ps(factor[next++], s);
    const __m128 y = _mm_add_ps(_mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(p), 0x4E)), p);
    // DC blocker, clamp and soft saturation as processAt.
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 acc = _mm_add_ps(_mm_mul_ps(dc, _mm_set1_ps(0.995f)), y);
    const __m128 d = _mm_sub_ps(acc, dc);
    dc = acc;
    const __m128 c = _mm_mul_ps(_mm_sub_ps(_mm_and_ps(_mm_add_ps(d, one), magnitude),
                                           _mm_and_ps(_mm_sub_ps(d, one), magnitude)),
                                _mm_set1_ps(0.5f));
    fb = _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(2.0f), c), _mm_mul_ps(_mm_and_ps(c, magnitude), c));
    return y;
}
#endif
