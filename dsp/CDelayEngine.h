#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_delay.h"
#include "dsp/zksp_filter.h"
#include "dsp/zksp_sample_guard.h"
#include "dsp/zksp_smoother.h"

#include <bit>
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

    void reset() override;                   // [ui] while suspended
    void setSampleRate(float rate) override; // [ui] while suspended
    // The rate change in two halves (see zksp_delay): the line's memory is made on a thread that
    // may allocate, and the change itself lands where the engine runs, without allocating. The
    // returned memory is the line's old buffer, to be released off the audio thread.
    zksp_delay_memory prepareSampleRate(float rate) const;                // [any] allocates
    zksp_delay_memory setSampleRate(float rate, zksp_delay_memory fresh); // [audio] no allocation
    inline float processGated(float x, float gate) override;              // [audio]
    // Both channels side by side: the filters in the two lanes of SSE2 registers, the lines'
    // positions and the glides in registers, and no time check per sample while both glides rest.
    static void processStretchPair(CDelayEngine& l, CDelayEngine& r, float* xl, float* xr, int n,
                                   float gate); // [audio]

    const zksp_delay_allpass& getDelayLine() const { return delayLine; }      // [any]
    const zksp_filter_rbj_low_pass& getLowPass() const { return lowPass; }    // [any]
    const zksp_filter_rbj_high_pass& getHighPass() const { return highPass; } // [any]
    const zksp_smoother& getTimeSmoother() const { return timeSmoother; }     // [any]
    float getLastOutput() const { return lastOutput; }                        // [any]
    float getFeedback() const { return feedback; }                            // [any]
    float getSend() const { return send; }                                    // [any]

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

    // A stretch of both channels: Glide, each sample with a time of its own (tl, tr), or the
    // times already applied for the whole stretch.
    template <bool Glide>
    static void runPair(CDelayEngine& l, CDelayEngine& r, float* xl, float* xr, int n, float gate,
                        const float* tl, const float* tr); // [audio]
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
