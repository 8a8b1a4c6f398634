#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_delay.h"
#include "dsp/zksp_filter.h"
#include "dsp/zksp_sample_guard.h"
#include "dsp/zksp_smoother.h"

#include <bit>
#include <cstddef>
#include <cstdint>

// The delay module: a feedback delay whose input is the dry signal times send and gate level,
// band-limited by a fixed high-pass (400 Hz) and low-pass (12 kHz) inside the loop and read
// through an allpass-interpolated line. The dry signal always passes at unity, so echoes keep
// sounding after the gate closes. The delay time glides toward each new setting with a 2 ms time
// constant, updated every sample; Chorus and Flange movement comes from modulating it.
//
// Control tick (once every 32 samples, audio thread), the three modulated settings:
//   setDelayTime(ms)  "Delay Time" in milliseconds, the time smoother's new target
//   setFeedback(f)    "Delay Feedback": 0..1
//   setSend(s)        "Delay Send": 0..1
// reset() silences the line and the filters (the feedback sample and the time glide persist);
// setSampleRate() reaches the line, the filters and the time smoother. The 144000-sample line
// (3.27 s at 44.1 kHz) is allocated at construction and reallocated only by setSampleRate.
class CDelayEngine final : public Morvek2Engine
{
public:
    CDelayEngine();

    // NaN or negative times count as 0 (the line then delays by one sample); times are limited to
    // kMaxDelayMs. Times beyond the line's length wrap modulo it.
    void setDelayTime(float ms); // [audio] control tick
    // Limited to 0..1; a NaN counts as 0.
    void setFeedback(float f); // [audio] control tick
    void setSend(float s);     // [audio] control tick

    void reset() override; // [ui] while suspended
    // Everything reset() clears, and the line's allpass, the time glide and the feedback path
    // as a new engine has them; the memory and the rate stay. No allocation.
    void restart();                          // [audio]
    void setSampleRate(float rate) override; // [ui] while suspended
    // reset() with the line's samples replaced by `cleared` (zeroed memory of the line's size,
    // from zksp_delay::clearedMemory) instead of cleared where it lands; the memory returned is
    // to be released off the audio thread (see zksp_delay::reset).
    zksp_delay_memory reset(zksp_delay_memory cleared); // [audio] no allocation
    // The rate change in two halves (see zksp_delay): the line's memory is made on a thread that
    // may allocate, and the change itself lands where the engine runs, without allocating. The
    // returned memory is the line's old buffer, to be released off the audio thread.
    zksp_delay_memory prepareSampleRate(float rate) const;                // [any] allocates
    zksp_delay_memory setSampleRate(float rate, zksp_delay_memory fresh); // [audio] no allocation
    inline float processGated(float x, float gate) override;              // [audio]
    // One stretch of the two channels' engines (n <= 32 frames between two control ticks), a
    // frame at a time. The loop interleaves the frames of several modules' kernels, so a kernel
    // carries everything from frame to frame in itself and touches no other engine. Constructed
    // at the stretch start, step() exactly n times in frame order, then finish() once.
    //
    // Both channels side by side: the filters in the two lanes of SSE2 doubles, the lines'
    // positions and the allpass states in the kernel. Everything that does not hang on the
    // signal is settled by the constructor: the glided times of the n frames, or, while both
    // glides rest, the one time change there is and whether the lines reach an end in the
    // stretch at all.
    class PairKernel
    {
    public:
        inline PairKernel(CDelayEngine& l, CDelayEngine& r, int n, float gate); // [audio]
        [[gnu::always_inline]] inline void step(float& xl, float& xr);          // [audio]
        inline void finish();                                                   // [audio]
        // True when the stretch runs straight along both lines (see processStretchPair).
        inline bool straight() const; // [audio]

    private:
#if defined(__SSE2__)
        enum class Mode : std::uint8_t{
            Straight, // the times rest and no position crosses an end of its line
            Wrapping, // the times rest, some position wraps
            Glide,    // each frame with a time of its own per channel
        };
        // Floats a and b into lanes 0 and 1.
        static __m128 lanes(float a, float b)
        {
            return _mm_unpacklo_ps(_mm_set_ss(a), _mm_set_ss(b));
        }

        zksp_filter_rbj_pair highPasses;
        zksp_filter_rbj_pair lowPasses;
        zksp_delay_allpass_pair lines;
        const __m128 gates;
        const __m128 sends;
        const __m128 feedbacks;
        __m128 last;
        CDelayEngine& l;
        CDelayEngine& r;
        std::ptrdiff_t frame = 0;
        const int frames;
        Mode mode;
        std::uint32_t appliedL, appliedR;
        // The glided times of the stretch's frames (Glide only).
        float timesL[kMaxKernelFrames], timesR[kMaxKernelFrames];
#else
        CDelayEngine& l;
        CDelayEngine& r;
        const float gate;
#endif
    };
    // processGated over n samples of both channels: the kernel's loop.
    static void processStretchPair(CDelayEngine& l, CDelayEngine& r, float* xl, float* xr, int n,
                                   float gate) // [audio]
    {
        PairKernel k(l, r, n, gate);
        // The same loop twice: on its own, the straight one (the common stretch) keeps more of
        // the kernel in registers than a loop that has to hold every way of stepping.
        if (k.straight()) {
            for (int i = 0; i < n; ++i)
                k.step(xl[i], xr[i]);
        } else {
            for (int i = 0; i < n; ++i)
                k.step(xl[i], xr[i]);
        }
        k.finish();
    }

    const zksp_delay_allpass& getDelayLine() const
    {
        return delayLine;
    } // [any]
    const zksp_filter_rbj_low_pass& getLowPass() const
    {
        return lowPass;
    } // [any]
    const zksp_filter_rbj_high_pass& getHighPass() const
    {
        return highPass;
    } // [any]
    const zksp_smoother& getTimeSmoother() const
    {
        return timeSmoother;
    } // [any]
    float getLastOutput() const
    {
        return lastOutput;
    } // [any]
    float getFeedback() const
    {
        return feedback;
    } // [any]
    float getSend() const
    {
        return send;
    } // [any]

    static constexpr float kMaxDelayMs = 1.0e6f;

private:
    zksp_delay_allpass delayLine;
    zksp_filter_rbj_low_pass lowPass;
    zksp_filter_rbj_high_pass highPass;
    zksp_smoother timeSmoother;
    float lastOutput = 0.0f;
    float feedback = 0.0f;
    float send = 0.0f;
    // Bits of the glided time the line was last set to. While the glide rests, setting the
    // same time again would put the read position exactly where the line's own step moved it,
    // so it is skipped; reset and setSampleRate move the positions and clear this (a NaN
    // pattern the glide never produces).
    std::uint32_t appliedTimeBits = kNoTimeApplied;
    static constexpr std::uint32_t kNoTimeApplied = 0xFFFFFFFFu;
};

inline float CDelayEngine::processGated(float x, float gate) // [audio]
{
    x = zksp_guard_sample(x);
    const float t = timeSmoother.advance();
    const std::uint32_t tBits = std::bit_cast<std::uint32_t>(t);
    if (tBits != appliedTimeBits) {
        delayLine.setDelayMs(t);
        appliedTimeBits = tBits;
    }
    // Guarded as a whole so a hostile gate cannot reach the filters' state either.
    const float in = zksp_guard_sample(x * gate * send + feedback * lastOutput);
    const float y = delayLine.process(lowPass.process(highPass.process(in)));
    lastOutput = y;
    return y + x;
}

#if defined(__SSE2__)
inline void CDelayEngine::PairKernel::step(float& xl, float& xr) // [audio]
{
    const std::ptrdiff_t i = frame++;
    const __m128 x = zksp_guard_sample4(lanes(xl, xr));
    // (x * gate) * send + feedback * lastOutput, guarded as a whole.
    const __m128 in = zksp_guard_sample4(
        _mm_add_ps(_mm_mul_ps(_mm_mul_ps(x, gates), sends), _mm_mul_ps(feedbacks, last)));
    // Every step records the filters' last input and integrator outputs: only the final one's
    // stay, and a step cannot tell it is the final one.
    const __m128 filtered = lowPasses.process<true>(highPasses.process<true>(in));
    if (mode == Mode::Straight) {
        last = lines.processStraight(filtered, i);
    } else {
        // A new time moves only the lines' read positions, which nothing before this reads.
        if (mode == Mode::Glide) {
            const std::uint32_t bitsL = std::bit_cast<std::uint32_t>(timesL[i]);
            if (bitsL != appliedL) {
                lines.setDelayMsA(timesL[i]);
                appliedL = bitsL;
            }
            const std::uint32_t bitsR = std::bit_cast<std::uint32_t>(timesR[i]);
            if (bitsR != appliedR) {
                lines.setDelayMsB(timesR[i]);
                appliedR = bitsR;
            }
        }
        last = lines.process(filtered);
    }
    const __m128 out = _mm_add_ps(last, x);
    xl = _mm_cvtss_f32(out);
    xr = _mm_cvtss_f32(_mm_shuffle_ps(out, out, 1));
}
#else
inline void CDelayEngine::PairKernel::step(float& xl, float& xr) // [audio]
{
    xl = l.CDelayEngine::processGated(xl, gate);
    xr = r.CDelayEngine::processGated(xr, gate);
}
#endif

#if defined(__SSE2__)

inline CDelayEngine::PairKernel::PairKernel(CDelayEngine& el, CDelayEngine& er, int n,
                                            float gate) // [audio]
    : highPasses(el.highPass, er.highPass), lowPasses(el.lowPass, er.lowPass),
      lines(el.delayLine, er.delayLine), gates(_mm_set1_ps(gate)), sends(lanes(el.send, er.send)),
      feedbacks(lanes(el.feedback, er.feedback)), last(lanes(el.lastOutput, er.lastOutput)), l(el),
      r(er), frames(n), mode(Mode::Glide), appliedL(el.appliedTimeBits),
      appliedR(er.appliedTimeBits)
{
    if (l.timeSmoother.rests() && r.timeSmoother.rests()) {
        // Every update of the stretch returns the same time: the first frame's check is the
        // only one that can set it, and it comes before the lines move.
        const float tl = l.timeSmoother.current();
        const std::uint32_t bitsL = std::bit_cast<std::uint32_t>(tl);
        if (bitsL != appliedL) {
            lines.setDelayMsA(tl);
            appliedL = bitsL;
        }
        const float tr = r.timeSmoother.current();
        const std::uint32_t bitsR = std::bit_cast<std::uint32_t>(tr);
        if (bitsR != appliedR) {
            lines.setDelayMsB(tr);
            appliedR = bitsR;
        }
        // With the positions only stepping on, most stretches reach no end of a line and
        // address both buffers from their start positions.
        mode = lines.startStraight(n) ? Mode::Straight : Mode::Wrapping;
        return;
    }
    zksp_smoother::advanceRunPair(l.timeSmoother, r.timeSmoother, timesL, timesR, n);
}

inline bool CDelayEngine::PairKernel::straight() const // [audio]
{
    return mode == Mode::Straight;
}

inline void CDelayEngine::PairKernel::finish() // [audio]
{
    if (mode == Mode::Straight)
        lines.skipStraight(frames);
    highPasses.store();
    lowPasses.store();
    lines.store();
    l.appliedTimeBits = appliedL;
    r.appliedTimeBits = appliedR;
    l.lastOutput = _mm_cvtss_f32(last);
    r.lastOutput = _mm_cvtss_f32(_mm_shuffle_ps(last, last, 1));
}

#else

inline CDelayEngine::PairKernel::PairKernel(CDelayEngine& el, CDelayEngine& er, int,
                                            float g) // [audio]
    : l(el), r(er), gate(g)
{}

inline bool CDelayEngine::PairKernel::straight() const // [audio]
{
    return false;
}

inline void CDelayEngine::PairKernel::finish() {} // [audio]

#endif

// The fused loop keeps six kernels on the stack.
static_assert(sizeof(CDelayEngine::PairKernel) <= 2048, "a kernel must stay small");
