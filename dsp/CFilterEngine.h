#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_filter.h"
#include "dsp/zksp_smoother.h"

#include <atomic>
#include <cmath>
#include <cstdint>

// Filter module: one filter of each of the six types, the selected one running, and a
// crossfade to the dry signal by the module's gate level (a closed gate passes the input).
//
// Types (the working value of "Filter Type"): 0 ladder " 4P LP", 1 creakbox " 3P LP",
// 2 biquad low-pass " 2P LP", 3 four-pole high-pass " 4P HP", 4 biquad high-pass
// " 2P HP", 5 gain-compensated band-pass " 4P BP".
//
// The processing loop, at every control tick and on both engines:
//   setFrequency(hz)   the modulated "Filter Freq" (Hz), handed to the active filter;
//   setResonance(r)    the modulated "Filter Res" (0..1), handed to the active filter.
// setParameter, on a "Filter Type" change and from any thread:
//   selectType(type)   the working value truncated; above 5 re-applies the last type.
//
// Threads: selectType only records the request in one atomic word; the audio thread
// carries it out at its next processGated or at the start of its next processStretchPair
// (reset the chosen filter, hand it the current frequency and resonance, make it active).
// Filter state is therefore touched by the audio thread alone, even when the same type is
// selected again while audio runs.
class CFilterEngine final : public Morvek2Engine
{
public:
    CFilterEngine();

    // Clears all six filters (not the gate smoother).
    void reset() override; // [ui] while suspended, or [audio]
    // Passed to the six filters and the gate smoother.
    void setSampleRate(float rate) override; // [ui] while suspended, or [audio]

    // Crossfades the active filter's output with x by the gate level smoothed once more
    // with a 5 ms time constant. A non-finite result resets the active filter and gives 0.
    float processGated(float x, float gate) override; // [audio]
    // Both channels over a stretch with the bits processGated gives each sample by sample. A
    // pending selection is carried out once, at the start (a request made while the stretch
    // runs takes effect at the next one); then, when both run the same type, the two filters
    // run as the two lanes of SSE2 doubles with their states in registers.
    static void processStretchPair(CFilterEngine& l, CFilterEngine& r, float* xl, float* xr, int n,
                                   float gate); // [audio]

    void selectType(std::uint16_t type); // [any]
    void setFrequency(float hz);         // [audio]
    void setResonance(float r);          // [audio]

    float getFrequency() const { return frequency; } // [audio]
    float getResonance() const { return resonance; } // [audio]
    // The filter that processes now (after any pending selection has been applied by
    // processGated or applyPendingSelection).
    const zksp_filter* activeFilter() const { return active; } // [audio]
    // The member that serves a type 0..5 (nullptr above).
    const zksp_filter* filterForType(unsigned type) const; // [any]
    // Carries out a recorded selectType now; processGated does this itself.
    void applyPendingSelection() // [audio]
    {
        const std::uint32_t req = request.load(std::memory_order_relaxed);
        if (req != applied)
            applySelection(req);
    }

private:
    void applySelection(std::uint32_t req);
    template <class Pair, class Filter>
    static void runPair(Filter CFilterEngine::*member, CFilterEngine& l, CFilterEngine& r,
                        float* xl, float* xr, int n, const float* gains);
    zksp_filter* memberForType(unsigned type);

    zksp_filter_zk_moog ladder;
    zksp_filter_rbj_low_pass lowPass;
    zksp_filter_rbj_high_pass highPass;
    zksp_filter_4PHP fourPoleHighPass;
    zksp_filter_rbj_band_pass_gain_comp bandPass;
    zksp_filter_creakbox creakbox;
    zksp_filter* active;
    zksp_filter* selected;
    // The type of `active`, so the per-sample call goes straight to the member (inlined)
    // rather than through the filter's virtual process.
    unsigned activeType = 0;
    unsigned selectedType = 0;
    float frequency = 1000.0f;
    float resonance = 0.1f;
    zksp_smoother gateSmoother;

    // Selection hand-over: a request counter in the high 16 bits (so selecting the same
    // type again is still a new request) and the type in the low 16 bits.
    std::atomic<std::uint32_t> request{0};
    std::uint32_t applied = 0;
};

inline float CFilterEngine::processGated(float x, float gate) // [audio]
{
    applyPendingSelection();
    const float c = gateSmoother.process(gate);
    float y;
    switch (activeType) {
    case 1:
        y = creakbox.processUnguarded(x);
        break;
    case 2:
        y = lowPass.processUnguarded(x);
        break;
    case 3:
        y = fourPoleHighPass.processUnguarded(x);
        break;
    case 4:
        y = highPass.processUnguarded(x);
        break;
    case 5:
        y = bandPass.processUnguarded(x);
        break;
    default:
        y = ladder.processUnguarded(x);
        break;
    }
    const float out = y * c + (1.0f - c) * x;
    // The one check per sample, on what leaves the engine: a filter whose state has turned
    // non-finite (or a sample too large for it) starts over from silence, whichever type runs.
    if (!std::isfinite(out)) [[unlikely]] {
        active->reset();
        return 0.0f;
    }
    return out;
}
