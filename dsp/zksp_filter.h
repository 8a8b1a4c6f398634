#pragma once

#include "dsp/zksp_block.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Single-channel filters of the filter and delay modules. All share one interface so the
// filter engine can switch between them behind one pointer.
//
// Threads: a filter belongs to one engine on the audio thread. Its setters run there (the
// control tick); reset and setSampleRate run on the audio thread or while the plug-in is
// suspended.
//
// Stability: every class limits the cutoff it computes with (not the value it stores) to
// just below half the sample rate and to a small positive minimum, so any frequency,
// including NaN, gives a stable filter at any rate from 8 kHz to 384 kHz.
// Non-finite values: a filter whose output turns non-finite clears its state and returns 0
// (the ladder's input clamp already maps NaN and infinities into range). Each class also has
// processUnguarded, the same step without that check, for an owner that checks its own
// output once per sample and resets the filter itself (the filter engine).
class zksp_filter : public zksp_block
{
public:
    // Base storage, then reset, then updateCoefficients.
    void setSampleRate(float rate) override; // [ui] while suspended, or [audio]

    virtual void setFrequency(float hz) = 0;                 // [audio]
    virtual void setQ(float q) = 0;                          // [audio]
    virtual float getFrequency() const { return frequency; } // [any]
    virtual float getQ() const { return Q; }                 // [any]
    // r is the normalised resonance 0..1; each class maps it to its own Q.
    virtual void setResonance(float r) = 0; // [audio]
    // Recomputes from frequency, Q and the sample rate.
    virtual void updateCoefficients() {} // [audio]

protected:
    float frequency = 1000.0f;
    float Q = 0.707f;
};

// Biquad after the well-known audio-EQ cookbook. The cookbook coefficients (single
// precision) define the filter; it runs as a trapezoidal state-variable filter in double
// precision with exactly their transfer function. What it carries from sample to sample is
// the analogue prototype's two integrator outputs, which mean the same under any
// coefficients, and a trapezoidal step never lengthens them without input whatever the
// cutoff and Q: settings that jump at every control tick cannot pump the filter up, where a
// direct form's past outputs, scaled for the old coefficients, run away.
class zksp_filter_rbj : public zksp_filter
{
public:
    void reset() override; // [ui] while suspended, or [audio]
    // on: the filter passes its input (state kept); off: state cleared, coefficients back.
    void setBypass(bool on) override; // [audio]
    // Stores and recomputes only when the value changes.
    void setFrequency(float hz) override; // [audio]
    void setQ(float q) override;          // [audio]
    void updateCoefficients() override;   // [audio]

    float process(float x) override { return processBiquad(x); } // [audio]
    inline float processUnguarded(float x);                      // [audio]
    // The same filter without the alternating offset in its state.
    float processNoOffset(float x); // [audio]

    float getA1() const { return a1; } // [any]
    float getA2() const { return a2; } // [any]
    float getB0() const { return b0; } // [any]
    float getB1() const { return b1; } // [any]
    float getB2() const { return b2; } // [any]
    // State value i: 0, 1 the trapezoidal states, 2, 3 the band- and low-pass outputs of the
    // last step, 4 its input (for tests of decay and denormals).
    static constexpr int kStates = 5;
    double stateValue(int i) const // [any]
    {
        const double v[kStates] = {s1, s2, lastBand, lastLow, lastInput};
        return i >= 0 && i < kStates ? v[i] : 0.0;
    }

    // The cutoff is limited to this fraction of the sample rate (w0 = 0.98 pi) ...
    static constexpr double kMaxW0 = 0.98 * 3.14159265358979323846;
    // ... and w0 kept above the point where cosf(w0) rounds to 1 and a pole leaves the
    // unit circle (about 24 Hz at 384 kHz, 3 Hz at 44.1 kHz).
    static constexpr double kMinW0 = 4e-4;
    // Q outside this range makes alpha infinite (Q 0) or the poles touch the unit circle.
    static constexpr float kMinQ = 0.1f;
    static constexpr float kMaxQ = 100.0f;

    // One step of the state-variable core, output before rounding to float and without the
    // non-finite guard (for cascades that guard once).
    inline double step(double x, double offset); // [audio]

    // The states of two biquads as the two lanes of SSE2 doubles, for an owner that runs two
    // channels in step: the cores (Lanes) and processUnguarded (Pair). See the ladder's Pair.
    class Lanes;
    class Pair;

protected:
    zksp_filter_rbj() = default;
    // The numerator, the variant's own part of the coefficients.
    virtual void computeNumerator(float cs, float alpha, float n) = 0;
    // A gain applied to the output, folded into the output mix; 1 unless a variant says so.
    virtual float outputGain() const { return 1.0f; }
    // The state-variable form of a1, a2, b0, b1, b2 (and the output gain).
    void deriveStateVariableForm();

    inline float processBiquad(float x);

    float a1 = 0.0f, a2 = 0.0f;
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f;
    // Trapezoidal state-variable form: g the integrators' gain, k the damping; c1, c2, c3 the
    // solved loop (1 / (1 + g (g + k)), g c1, g c2) and m0, m1, m2 the output mix of input,
    // band-pass and low-pass that gives the biquad's numerator. The initial values pass the
    // input unchanged until the constructor computes the real ones.
    double c1 = 0.25, c2 = 0.25, c3 = 0.25;
    double m0 = 1.0, m1 = 0.0, m2 = 0.0;
    double g = 1.0, k = 2.0;
    double s1 = 0.0, s2 = 0.0;
    // The last step's input and integrator outputs, from which a coefficient change works out
    // the states afresh (see deriveStateVariableForm).
    double lastInput = 0.0, lastBand = 0.0, lastLow = 0.0;
    float denormalOffset = 1e-12f;

    friend class zksp_filter_rbj_pair;
};

inline double zksp_filter_rbj::step(double x, double offset) // [audio]
{
    const double v3 = x - s2;
    const double v1 = c1 * s1 + c2 * v3;      // band-pass
    const double v2 = s2 + c2 * s1 + c3 * v3; // low-pass
    lastInput = x;
    lastBand = v1;
    lastLow = v2;
    s1 = 2.0 * v1 - s1;
    // The tiny offset of alternating sign keeps both states off subnormal numbers.
    s2 = 2.0 * v2 - s2 + offset;
    return m0 * x + m1 * v1 + m2 * v2;
}

inline float zksp_filter_rbj::processUnguarded(float x) // [audio]
{
    const double offset = denormalOffset;
    denormalOffset = -denormalOffset;
    return static_cast<float>(step(x, offset));
}

inline float zksp_filter_rbj::processBiquad(float x) // [audio]
{
    const float y = processUnguarded(x);
    // A NaN or infinity would stay in the state forever: drop it and start over. Checked on
    // the float output, after every gain, so nothing non-finite leaves the filter.
    if (!std::isfinite(y)) [[unlikely]] {
        reset();
        return 0.0f;
    }
    return y;
}

#if defined(__SSE2__)
// Two of these filters run side by side over a stretch of samples, filter a in the low double
// lane and b in the high one, with everything they carry from sample to sample in registers.
// process() is processBiquad on each: the same double operations in the same order, the same
// alternating offsets and the same non-finite guard, so the same bits. Between the constructor
// and store() the filters themselves must not be used.
class zksp_filter_rbj_pair
{
public:
    inline zksp_filter_rbj_pair(zksp_filter_rbj& a, zksp_filter_rbj& b); // [audio]
    inline void store();                                                 // [audio]
    // a's input in float lane 0, b's in lane 1 (lanes 2 and 3 are ignored); the outputs in the
    // same lanes, lanes 2 and 3 zero. Only a coefficient change reads the last step's input and
    // integrator outputs: every step but a run's final one may leave them (KeepLast false), which
    // keeps six registers free inside the loop.
    template <bool KeepLast = true> inline __m128 process(__m128 x); // [audio]

private:
    zksp_filter_rbj& a;
    zksp_filter_rbj& b;
    __m128d c1, c2, c3, m0, m1, m2;
    __m128d s1, s2, lastInput, lastBand, lastLow, offset;
};

inline zksp_filter_rbj_pair::zksp_filter_rbj_pair(zksp_filter_rbj& fa, zksp_filter_rbj& fb)
    : a(fa), b(fb), c1(_mm_setr_pd(fa.c1, fb.c1)), c2(_mm_setr_pd(fa.c2, fb.c2)),
      c3(_mm_setr_pd(fa.c3, fb.c3)), m0(_mm_setr_pd(fa.m0, fb.m0)), m1(_mm_setr_pd(fa.m1, fb.m1)),
      m2(_mm_setr_pd(fa.m2, fb.m2)), s1(_mm_setr_pd(fa.s1, fb.s1)), s2(_mm_setr_pd(fa.s2, fb.s2)),
      lastInput(_mm_setr_pd(fa.lastInput, fb.lastInput)),
      lastBand(_mm_setr_pd(fa.lastBand, fb.lastBand)), lastLow(_mm_setr_pd(fa.lastLow, fb.lastLow)),
      offset(_mm_setr_pd(fa.denormalOffset, fb.denormalOffset))
{}

inline void zksp_filter_rbj_pair::store() // [audio]
{
    _mm_storel_pd(&a.s1, s1);
    _mm_storeh_pd(&b.s1, s1);
    _mm_storel_pd(&a.s2, s2);
    _mm_storeh_pd(&b.s2, s2);
    _mm_storel_pd(&a.lastInput, lastInput);
    _mm_storeh_pd(&b.lastInput, lastInput);
    _mm_storel_pd(&a.lastBand, lastBand);
    _mm_storeh_pd(&b.lastBand, lastBand);
    _mm_storel_pd(&a.lastLow, lastLow);
    _mm_storeh_pd(&b.lastLow, lastLow);
    // The offsets are floats widened exactly, so narrowing gives them back.
    a.denormalOffset = static_cast<float>(_mm_cvtsd_f64(offset));
    b.denormalOffset = static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(offset, offset)));
}

template <bool KeepLast> inline __m128 zksp_filter_rbj_pair::process(__m128 x) // [audio]
{
    const __m128d xd = _mm_cvtps_pd(x);
    const __m128d off = offset;
    offset = _mm_xor_pd(offset, _mm_set1_pd(-0.0)); // exact negation, as in processUnguarded
    const __m128d two = _mm_set1_pd(2.0);
    // step(), lane by lane.
    const __m128d v3 = _mm_sub_pd(xd, s2);
    const __m128d v1 = _mm_add_pd(_mm_mul_pd(c1, s1), _mm_mul_pd(c2, v3));
    const __m128d v2 = _mm_add_pd(_mm_add_pd(s2, _mm_mul_pd(c2, s1)), _mm_mul_pd(c3, v3));
    if constexpr (KeepLast) {
        lastInput = xd;
        lastBand = v1;
        lastLow = v2;
    }
    s1 = _mm_sub_pd(_mm_mul_pd(two, v1), s1);
    s2 = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(two, v2), s2), off);
    const __m128d out =
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(m0, xd), _mm_mul_pd(m1, v1)), _mm_mul_pd(m2, v2));
    __m128 y = _mm_cvtpd_ps(out);
    // y - y is 0 for a finite y and NaN otherwise.
    const __m128 zero = _mm_sub_ps(y, y);
    const int bad = _mm_movemask_ps(_mm_cmpunord_ps(zero, zero));
    if (bad != 0) [[unlikely]] {
        // reset() of the filter in each lane that turned non-finite, and 0 out of it.
        const long long keepA = (bad & 1) ? 0 : -1;
        const long long keepB = (bad & 2) ? 0 : -1;
        const __m128d keep = _mm_castsi128_pd(_mm_set_epi64x(keepB, keepA));
        s1 = _mm_and_pd(s1, keep);
        s2 = _mm_and_pd(s2, keep);
        if constexpr (KeepLast) {
            lastInput = _mm_and_pd(lastInput, keep);
            lastBand = _mm_and_pd(lastBand, keep);
            lastLow = _mm_and_pd(lastLow, keep);
        }
        y = _mm_and_ps(y, _mm_castsi128_ps(_mm_set_epi32(0, 0, static_cast<int>(keepB),
                                                         static_cast<int>(keepA))));
    }
    return y;
}
#endif

class zksp_filter_rbj_low_pass final : public zksp_filter_rbj
{
public:
    zksp_filter_rbj_low_pass();
    // Q = r * 10 + 1.
    void setResonance(float r) override; // [audio]

protected:
    void computeNumerator(float cs, float alpha, float n) override;
};

class zksp_filter_rbj_high_pass final : public zksp_filter_rbj
{
public:
    zksp_filter_rbj_high_pass();
    // Q = r * 10 + 1.
    void setResonance(float r) override; // [audio]

protected:
    void computeNumerator(float cs, float alpha, float n) override;
};

// Constant 0 dB peak gain band-pass.
class zksp_filter_rbj_band_pass : public zksp_filter_rbj
{
public:
    zksp_filter_rbj_band_pass();
    // Q = r * 7 + 1.
    void setResonance(float r) override; // [audio]

protected:
    void computeNumerator(float cs, float alpha, float n) override;
};

// Band-pass whose output gain rises with Q: (Q - 0.8) * 0.2 + 1.2, 1.24 at Q 1, 2.64 at Q 8.
// The gain is part of the output mix, so the filter's non-finite guard sees the final sample.
class zksp_filter_rbj_band_pass_gain_comp final : public zksp_filter_rbj_band_pass
{
public:
    zksp_filter_rbj_band_pass_gain_comp() { updateCoefficients(); }

protected:
    float outputGain() const override { return (Q - 0.8f) * 0.2f + 1.2f; }
};

// Four-pole high-pass: a fixed Q 1 stage feeding a resonant stage. Both stages follow the
// host's sample rate so the filter sounds alike at every rate.
class zksp_filter_4PHP final : public zksp_filter
{
public:
    zksp_filter_4PHP();
    void reset() override; // [ui] while suspended, or [audio]
    // Base storage, then both stages take the rate (each resets and recomputes).
    void setSampleRate(float rate) override; // [ui] while suspended, or [audio]
    void setFrequency(float hz) override;    // [audio]
    // The resonant stage only.
    void setQ(float q) override; // [audio]
    // Q = r * 12 + 1 on the resonant stage.
    void setResonance(float r) override;    // [audio]
    inline float process(float x) override; // [audio]
    inline float processUnguarded(float x); // [audio]

    const zksp_filter_rbj_high_pass& resonantStage() const { return resonant; } // [any]
    const zksp_filter_rbj_high_pass& fixedStage() const { return fixed; }       // [any]

    class Pair; // processUnguarded of two filters as two lanes, as the ladder's Pair

private:
    zksp_filter_rbj_high_pass resonant;
    zksp_filter_rbj_high_pass fixed;
    float denormalOffset = 1e-12f;
};

inline float zksp_filter_4PHP::processUnguarded(float x) // [audio]
{
    const double offset = denormalOffset;
    denormalOffset = -denormalOffset;
    // Rounded to float between the stages, as two separate biquads would be.
    const float mid = static_cast<float>(fixed.step(x, offset));
    return static_cast<float>(resonant.step(mid, offset));
}

inline float zksp_filter_4PHP::process(float x) // [audio]
{
    // One guard for both stages, which clears both.
    const float y = processUnguarded(x);
    if (!std::isfinite(y)) [[unlikely]] {
        reset();
        return 0.0f;
    }
    return y;
}

// Four-pole resonant ladder low-pass in double precision. Its DC gain at resonance 0 is 2.
class zksp_filter_zk_moog final : public zksp_filter
{
public:
    zksp_filter_zk_moog();
    void reset() override; // [ui] while suspended, or [audio]
    // Stores and recomputes only when the value changes.
    void setFrequency(float hz) override; // [audio]
    // Resonance := q * 0.4 (read back through getQ).
    void setQ(float q) override; // [audio]
    // q = r * 10.5, so the resonance runs 0 .. 4.2.
    void setResonance(float r) override;    // [audio]
    void updateCoefficients() override;     // [audio]
    inline float process(float x) override; // [audio]
    inline float processUnguarded(float x); // [audio]

    // processUnguarded of two ladders (the two channels) as the two lanes of SSE2 doubles: the
    // same operations in the same order, so each lane gets the bits of its own filter. The
    // constructor loads both filters' states and settings, step runs one sample of each, store
    // writes the states back and count the samples run; between a store and the next load the
    // filters may be touched directly (a reset). The settings must not change while it runs.
    // Defined where SSE2 is available.
    class Pair;

    double poleFactor() const { return oneMinusF; }    // [any]
    double feedbackAmount() const { return feedback; } // [any]
    // Stage states: 0..3 in1..in4, 4..7 out1..out4.
    double stateValue(int i) const { return i < 4 ? in[i] : out[i - 4]; } // [any]

    // A cutoff that falls to less than this fraction of the previous one in one step has the
    // stage states rescaled to it.
    static constexpr double kRescaleBelow = 0.7;

private:
    double normalisedFrequency = 0.0;
    double f = 0.0;
    double oneMinusF = 1.0;
    double f4 = 0.0;
    double feedback = 0.0;
    // Settings-only factors of the input path, kept with the coefficients.
    double inputGain = 1.0; // 1 + 0.75 resonance
    double drive = 0.0;     // 0.35013 f^4
    double in[4] = {0.0, 0.0, 0.0, 0.0};
    double out[4] = {0.0, 0.0, 0.0, 0.0};
    double denormalOffset = 1e-5;
    // The f the stage states are scaled for, and the samples run since the last coefficient
    // update (wrapping after a day of audio only makes the states seem less settled).
    double stateF = 0.0;
    std::uint32_t samplesSinceUpdate = 0;
};

inline float zksp_filter_zk_moog::process(float x) // [audio]
{
    const float y = processUnguarded(x);
    if (!std::isfinite(y)) [[unlikely]] {
        reset();
        return 0.0f;
    }
    return y;
}

inline float zksp_filter_zk_moog::processUnguarded(float x) // [audio]
{
    ++samplesSinceUpdate;
    const double xd = x;
    double v = xd - out[3] * feedback + xd * inputGain;
    // The clamp bounds the loop at any resonance; written so NaN and infinities land on
    // the bounds rather than in the state.
    v = std::max(-0.99, std::min(0.99, v));
    v += denormalOffset;
    denormalOffset = -denormalOffset;
    v *= drive;
    // Each stage reads its previous input before replacing it.
    out[0] = v + 0.3 * in[0] + oneMinusF * out[0];
    in[0] = v;
    out[1] = out[0] + 0.3 * in[1] + oneMinusF * out[1];
    in[1] = out[0];
    out[2] = out[1] + 0.3 * in[2] + oneMinusF * out[2];
    in[2] = out[1];
    out[3] = out[2] + 0.3 * in[3] + oneMinusF * out[3];
    in[3] = out[2];
    return static_cast<float>(out[3]);
}

// A state that has decayed below the smallest normal double becomes 0 (a NaN too, which the
// output's guard then clears anyway). The creakbox's input offset holds its output off zero in
// silence, but its other state then decays geometrically toward zero and would spend seconds
// among subnormal numbers, each step several times slower; values that small no longer move
// the output's bits.
inline double zksp_flush_tiny(double v)
{
    return std::fabs(v) >= 0x1p-1022 ? v : 0.0;
}

// Resonant three-pole low-pass with its own damping curve. Unity gain at DC.
class zksp_filter_creakbox final : public zksp_filter
{
public:
    zksp_filter_creakbox();
    void reset() override; // [ui] while suspended, or [audio]
    // Also recomputes the normalised frequency for the new rate.
    void setSampleRate(float rate) override; // [ui] while suspended, or [audio]
    // Stores when changed; the normalised frequency is recomputed in every case.
    void setFrequency(float hz) override; // [audio]
    void setQ(float q) override;          // [audio]
    // Q = r.
    void setResonance(float r) override;    // [audio]
    inline float process(float x) override; // [audio]
    inline float processUnguarded(float x); // [audio]

    class Pair; // processUnguarded of two filters as two lanes, as the ladder's Pair

    double stateValue(int i) const { return i == 0 ? s0 : s1; }          // [any]
    float getNormalisedFrequency() const { return normalisedFrequency; } // [any]

    // The shared 65-entry curve that shapes the damping.
    static const double* table(); // [any]

private:
    // The step and the damping depend on the settings alone: worked out when a setting
    // changes, not for every sample.
    void updateDerived();

    double s0 = 0.0, s1 = 0.0;
    double step = 0.0;    // the clamped normalised frequency
    double damping = 1.0; // G := 1 - k
    float normalisedFrequency = 1000.0f / 44100.0f;
    float inputOffset = 1e-12f;
};

inline float zksp_filter_creakbox::process(float x) // [audio]
{
    const float y = processUnguarded(x);
    // A NaN or infinity in the state would never leave it (a non-finite s1 reaches s0 in the
    // same step).
    if (!std::isfinite(y)) [[unlikely]] {
        reset();
        return 0.0f;
    }
    return y;
}

inline float zksp_filter_creakbox::processUnguarded(float x) // [audio]
{
    const double a = step;
    const double G = damping;
    const double in = static_cast<double>(x) + static_cast<double>(inputOffset);
    const double e1 = (in - G * s1 - s0) * a + s1;
    const double e2 = e1 - e1 * G * a;
    const double e3 = e2 - e2 * G * a;
    const double e4 = e3 - e3 * G * a;
    const double e5 = e4 - e4 * G * a;
    s1 = zksp_flush_tiny(e5);
    s0 = e5 * a + (e4 * a + (e3 * a + (e2 * a + (e1 * a + s0))));
    return static_cast<float>(s0);
}

#if defined(__SSE2__)

// ---------------------------------------------------------------------------------------
// Two filters as the two lanes of SSE2 doubles. Every lane operation is the scalar code's
// operation in the same order and precision, so the lanes carry exactly the bits of the two
// filters run one after the other. Inputs and outputs are floats in lanes 0 and 1 of an
// __m128 (lanes 2 and 3 are zero on output). The lane classes hold registers only: the owner
// names the two filters (a in the low lane, b in the high one) to the constructor, load and
// store, so a lane state kept inside a larger object can still live in registers.

class zksp_filter_rbj::Lanes
{
public:
    Lanes(const zksp_filter_rbj& a, const zksp_filter_rbj& b)
        : c1(_mm_setr_pd(a.c1, b.c1)), c2(_mm_setr_pd(a.c2, b.c2)), c3(_mm_setr_pd(a.c3, b.c3)),
          m0(_mm_setr_pd(a.m0, b.m0)), m1(_mm_setr_pd(a.m1, b.m1)), m2(_mm_setr_pd(a.m2, b.m2))
    {
        load(a, b);
    }
    // The states (the coefficients stay as the constructor read them).
    void load(const zksp_filter_rbj& a, const zksp_filter_rbj& b)
    {
        s1 = _mm_setr_pd(a.s1, b.s1);
        s2 = _mm_setr_pd(a.s2, b.s2);
        lastInput = _mm_setr_pd(a.lastInput, b.lastInput);
        lastBand = _mm_setr_pd(a.lastBand, b.lastBand);
        lastLow = _mm_setr_pd(a.lastLow, b.lastLow);
    }
    void store(zksp_filter_rbj& a, zksp_filter_rbj& b) const
    {
        storeLanes(s1, a.s1, b.s1);
        storeLanes(s2, a.s2, b.s2);
        storeLanes(lastInput, a.lastInput, b.lastInput);
        storeLanes(lastBand, a.lastBand, b.lastBand);
        storeLanes(lastLow, a.lastLow, b.lastLow);
    }
    // zksp_filter_rbj::step in both lanes.
    __m128d step(__m128d x, __m128d offset)
    {
        const __m128d two = _mm_set1_pd(2.0);
        const __m128d v3 = _mm_sub_pd(x, s2);
        const __m128d v1 = _mm_add_pd(_mm_mul_pd(c1, s1), _mm_mul_pd(c2, v3));
        const __m128d v2 = _mm_add_pd(_mm_add_pd(s2, _mm_mul_pd(c2, s1)), _mm_mul_pd(c3, v3));
        lastInput = x;
        lastBand = v1;
        lastLow = v2;
        s1 = _mm_sub_pd(_mm_mul_pd(two, v1), s1);
        s2 = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(two, v2), s2), offset);
        return _mm_add_pd(_mm_add_pd(_mm_mul_pd(m0, x), _mm_mul_pd(m1, v1)), _mm_mul_pd(m2, v2));
    }

    static void storeLanes(__m128d v, double& lo, double& hi)
    {
        _mm_storel_pd(&lo, v);
        _mm_storeh_pd(&hi, v);
    }

private:
    __m128d c1, c2, c3, m0, m1, m2;
    __m128d s1, s2, lastInput, lastBand, lastLow;
};

// A double's sign bit in both lanes: flipping it negates exactly, as the scalar code does.
inline __m128d zksp_sign_bits_pd()
{
    return _mm_set1_pd(-0.0);
}

// Float offsets widened exactly: narrowing gives them back.
inline __m128d zksp_widen_offsets(float a, float b)
{
    return _mm_setr_pd(static_cast<double>(a), static_cast<double>(b));
}
inline void zksp_narrow_offsets(__m128d v, float& a, float& b)
{
    a = static_cast<float>(_mm_cvtsd_f64(v));
    b = static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(v, v)));
}

class zksp_filter_rbj::Pair
{
public:
    Pair(const zksp_filter_rbj& a, const zksp_filter_rbj& b)
        : core(a, b), offset(zksp_widen_offsets(a.denormalOffset, b.denormalOffset))
    {}
    void load(const zksp_filter_rbj& a, const zksp_filter_rbj& b) { core.load(a, b); }
    void store(zksp_filter_rbj& a, zksp_filter_rbj& b) const
    {
        core.store(a, b);
        zksp_narrow_offsets(offset, a.denormalOffset, b.denormalOffset);
    }
    // processUnguarded in both lanes.
    __m128 step(__m128 x)
    {
        const __m128d y = core.step(_mm_cvtps_pd(x), offset);
        offset = _mm_xor_pd(offset, zksp_sign_bits_pd());
        return _mm_cvtpd_ps(y);
    }

private:
    zksp_filter_rbj::Lanes core;
    __m128d offset;
};

class zksp_filter_4PHP::Pair
{
public:
    Pair(const zksp_filter_4PHP& a, const zksp_filter_4PHP& b)
        : fixed(a.fixed, b.fixed), resonant(a.resonant, b.resonant),
          offset(zksp_widen_offsets(a.denormalOffset, b.denormalOffset))
    {}
    void load(const zksp_filter_4PHP& a, const zksp_filter_4PHP& b)
    {
        fixed.load(a.fixed, b.fixed);
        resonant.load(a.resonant, b.resonant);
    }
    void store(zksp_filter_4PHP& a, zksp_filter_4PHP& b) const
    {
        fixed.store(a.fixed, b.fixed);
        resonant.store(a.resonant, b.resonant);
        zksp_narrow_offsets(offset, a.denormalOffset, b.denormalOffset);
    }
    // processUnguarded in both lanes, rounded to float between the stages.
    __m128 step(__m128 x)
    {
        const __m128 mid = _mm_cvtpd_ps(fixed.step(_mm_cvtps_pd(x), offset));
        const __m128d y = resonant.step(_mm_cvtps_pd(mid), offset);
        offset = _mm_xor_pd(offset, zksp_sign_bits_pd());
        return _mm_cvtpd_ps(y);
    }

private:
    zksp_filter_rbj::Lanes fixed;
    zksp_filter_rbj::Lanes resonant;
    __m128d offset;
};

class zksp_filter_zk_moog::Pair
{
public:
    // Whether a ladder's stage inputs in[1..3] hold the bits of out[0..2], as its construction,
    // every step and reset, and the rescale of a falling cutoff (the same factor on both) leave
    // them. Pair relies on it: a stage's input is then read from the stage before it and takes
    // no register of its own.
    static bool chained(const zksp_filter_zk_moog& f)
    {
        for (int i = 0; i < 3; ++i)
            if (std::bit_cast<std::uint64_t>(f.in[i + 1]) != std::bit_cast<std::uint64_t>(f.out[i]))
                return false;
        return true;
    }
    // Both filters chained().
    Pair(const zksp_filter_zk_moog& a, const zksp_filter_zk_moog& b)
        : feedback(_mm_setr_pd(a.feedback, b.feedback)),
          inputGain(_mm_setr_pd(a.inputGain, b.inputGain)), drive(_mm_setr_pd(a.drive, b.drive)),
          oneMinusF(_mm_setr_pd(a.oneMinusF, b.oneMinusF)),
          offset(_mm_setr_pd(a.denormalOffset, b.denormalOffset))
    {
        load(a, b);
    }
    void load(const zksp_filter_zk_moog& a, const zksp_filter_zk_moog& b)
    {
        in0 = _mm_setr_pd(a.in[0], b.in[0]);
        out0 = _mm_setr_pd(a.out[0], b.out[0]);
        out1 = _mm_setr_pd(a.out[1], b.out[1]);
        out2 = _mm_setr_pd(a.out[2], b.out[2]);
        out3 = _mm_setr_pd(a.out[3], b.out[3]);
    }
    // The states back; the samples run are counted by count().
    void store(zksp_filter_zk_moog& a, zksp_filter_zk_moog& b) const
    {
        using Lanes = zksp_filter_rbj::Lanes;
        Lanes::storeLanes(in0, a.in[0], b.in[0]);
        Lanes::storeLanes(out0, a.in[1], b.in[1]);
        Lanes::storeLanes(out1, a.in[2], b.in[2]);
        Lanes::storeLanes(out2, a.in[3], b.in[3]);
        Lanes::storeLanes(out0, a.out[0], b.out[0]);
        Lanes::storeLanes(out1, a.out[1], b.out[1]);
        Lanes::storeLanes(out2, a.out[2], b.out[2]);
        Lanes::storeLanes(out3, a.out[3], b.out[3]);
        Lanes::storeLanes(offset, a.denormalOffset, b.denormalOffset);
    }
    // The samples each filter has run since the constructor (its processUnguarded counts them).
    static void count(zksp_filter_zk_moog& a, zksp_filter_zk_moog& b, std::uint32_t steps)
    {
        a.samplesSinceUpdate += steps;
        b.samplesSinceUpdate += steps;
    }
    // processUnguarded in both lanes.
    __m128 step(__m128 x)
    {
        const __m128d xd = _mm_cvtps_pd(x);
        __m128d v =
            _mm_add_pd(_mm_sub_pd(xd, _mm_mul_pd(out3, feedback)), _mm_mul_pd(xd, inputGain));
        // std::max(-0.99, std::min(0.99, v)): min is (v < 0.99 ? v : 0.99) and max is
        // (m > -0.99 ? m : -0.99), which are minpd and maxpd with v and m first, so NaN
        // lands on 0.99 as it does there.
        v = _mm_max_pd(_mm_min_pd(v, _mm_set1_pd(0.99)), _mm_set1_pd(-0.99));
        v = _mm_add_pd(v, offset);
        offset = _mm_xor_pd(offset, zksp_sign_bits_pd());
        v = _mm_mul_pd(v, drive);
        const __m128d k = _mm_set1_pd(0.3);
        // in[1..3] are out0..out2 of the step before.
        const __m128d o0 =
            _mm_add_pd(_mm_add_pd(v, _mm_mul_pd(k, in0)), _mm_mul_pd(oneMinusF, out0));
        const __m128d o1 =
            _mm_add_pd(_mm_add_pd(o0, _mm_mul_pd(k, out0)), _mm_mul_pd(oneMinusF, out1));
        const __m128d o2 =
            _mm_add_pd(_mm_add_pd(o1, _mm_mul_pd(k, out1)), _mm_mul_pd(oneMinusF, out2));
        const __m128d o3 =
            _mm_add_pd(_mm_add_pd(o2, _mm_mul_pd(k, out2)), _mm_mul_pd(oneMinusF, out3));
        in0 = v;
        out0 = o0;
        out1 = o1;
        out2 = o2;
        out3 = o3;
        return _mm_cvtpd_ps(o3);
    }

private:
    __m128d feedback, inputGain, drive, oneMinusF;
    __m128d offset;
    // The stage states: in[0] and out[0..3] (in[1..3] are out[0..2]).
    __m128d in0, out0, out1, out2, out3;
};

// zksp_flush_tiny in both lanes.
inline __m128d zksp_flush_tiny_pd(__m128d v)
{
    const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), v);
    return _mm_and_pd(_mm_cmpge_pd(magnitude, _mm_set1_pd(0x1p-1022)), v);
}

class zksp_filter_creakbox::Pair
{
public:
    Pair(const zksp_filter_creakbox& a, const zksp_filter_creakbox& b)
        : stepSize(_mm_setr_pd(a.step, b.step)), damping(_mm_setr_pd(a.damping, b.damping)),
          inputOffset(zksp_widen_offsets(a.inputOffset, b.inputOffset))
    {
        load(a, b);
    }
    void load(const zksp_filter_creakbox& a, const zksp_filter_creakbox& b)
    {
        s0 = _mm_setr_pd(a.s0, b.s0);
        s1 = _mm_setr_pd(a.s1, b.s1);
    }
    void store(zksp_filter_creakbox& a, zksp_filter_creakbox& b) const
    {
        zksp_filter_rbj::Lanes::storeLanes(s0, a.s0, b.s0);
        zksp_filter_rbj::Lanes::storeLanes(s1, a.s1, b.s1);
    }
    // processUnguarded in both lanes.
    __m128 step(__m128 x)
    {
        const __m128d A = stepSize;
        const __m128d G = damping;
        const __m128d in = _mm_add_pd(_mm_cvtps_pd(x), inputOffset);
        const __m128d e1 =
            _mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_sub_pd(in, _mm_mul_pd(G, s1)), s0), A), s1);
        const __m128d e2 = _mm_sub_pd(e1, _mm_mul_pd(_mm_mul_pd(e1, G), A));
        const __m128d e3 = _mm_sub_pd(e2, _mm_mul_pd(_mm_mul_pd(e2, G), A));
        const __m128d e4 = _mm_sub_pd(e3, _mm_mul_pd(_mm_mul_pd(e3, G), A));
        const __m128d e5 = _mm_sub_pd(e4, _mm_mul_pd(_mm_mul_pd(e4, G), A));
        s1 = zksp_flush_tiny_pd(e5);
        __m128d sum = _mm_add_pd(_mm_mul_pd(e1, A), s0);
        sum = _mm_add_pd(_mm_mul_pd(e2, A), sum);
        sum = _mm_add_pd(_mm_mul_pd(e3, A), sum);
        sum = _mm_add_pd(_mm_mul_pd(e4, A), sum);
        s0 = _mm_add_pd(_mm_mul_pd(e5, A), sum);
        return _mm_cvtpd_ps(s0);
    }

private:
    __m128d stepSize, damping, inputOffset;
    __m128d s0, s1;
};

#endif
