#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_filter.h"
#include "dsp/zksp_smoother.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <new>

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
    // One stretch of the two channels' engines (n <= 32 frames between two control ticks), a
    // frame at a time. The loop interleaves the frames of several modules' kernels, so a kernel
    // carries everything from frame to frame in itself and touches no other engine. Constructed
    // at the stretch start, step() exactly n times in frame order, then finish() once.
    //
    // A pending selection is carried out once, at the start (a request made while the stretch
    // runs takes effect at the next one). The gate smoothers do not depend on the signal: the
    // constructor runs them over the whole stretch. When both channels run the same type, the
    // two filters then run as the two lanes of SSE2 doubles with their states in the kernel;
    // otherwise (and without SSE2) each step is processGated on each channel.
    class PairKernel
    {
    public:
        // Always inlined, so the lane states can stay in registers from the constructor to
        // finish() when the kernel runs alone.
        [[gnu::always_inline]] inline PairKernel(CFilterEngine& l, CFilterEngine& r, int n,
                                                 float gate);          // [audio]
        [[gnu::always_inline]] inline void step(float& xl, float& xr); // [audio]
        [[gnu::always_inline]] inline void finish();                   // [audio]

        PairKernel(const PairKernel&) = delete;
        PairKernel& operator=(const PairKernel&) = delete;

    private:
        friend class CFilterEngine;

        CFilterEngine& l;
        CFilterEngine& r;
        const float gate;
#if defined(__SSE2__)
        // Which lanes run, fixed for the stretch: the filter type's Pair, or processGated.
        enum class Mode : unsigned char{Ladder, Creakbox, Biquad, FourPole, BySample};

        inline void store();
        inline void load();

        Mode mode;
        // The two biquads in Biquad mode.
        zksp_filter_rbj* biquadL = nullptr;
        zksp_filter_rbj* biquadR = nullptr;
        std::uint32_t frames;
        // The crossfade levels, left and right of each frame (in the left engine: an array
        // here would keep the lane states out of registers); `gain` the next frame's.
        const float* gain;
        // The selected type's lanes (none in BySample).
        union Lanes {
            Lanes() : none() {}
            char none;
            zksp_filter_zk_moog::Pair ladder;
            zksp_filter_creakbox::Pair creakbox;
            zksp_filter_rbj::Pair biquad;
            zksp_filter_4PHP::Pair fourPole;
        } lanes;
#endif
    };
    // processGated over n samples of both channels: the kernel's loop.
    static void processStretchPair(CFilterEngine& l, CFilterEngine& r, float* xl, float* xr, int n,
                                   float gate) // [audio]
    {
        PairKernel k(l, r, n, gate);
#if defined(__SSE2__)
        // The same loop (and finish) once for each mode: the mode, fixed for the stretch, is
        // then known in each copy, so the switches in step() and finish() drop out and each
        // filter type's lanes have the registers to themselves.
        switch (k.mode) {
        case PairKernel::Mode::Ladder:
            for (int i = 0; i < n; ++i)
                k.step(xl[i], xr[i]);
            k.finish();
            break;
        case PairKernel::Mode::Creakbox:
            for (int i = 0; i < n; ++i)
                k.step(xl[i], xr[i]);
            k.finish();
            break;
        case PairKernel::Mode::Biquad:
            for (int i = 0; i < n; ++i)
                k.step(xl[i], xr[i]);
            k.finish();
            break;
        case PairKernel::Mode::FourPole:
            for (int i = 0; i < n; ++i)
                k.step(xl[i], xr[i]);
            k.finish();
            break;
        case PairKernel::Mode::BySample:
            for (int i = 0; i < n; ++i)
                k.step(xl[i], xr[i]);
            k.finish();
            break;
        }
#else
        for (int i = 0; i < n; ++i)
            k.step(xl[i], xr[i]);
        k.finish();
#endif
    }

    void selectType(std::uint16_t type); // [any]
    void setFrequency(float hz);         // [audio]
    void setResonance(float r);          // [audio]

    float getFrequency() const
    {
        return frequency;
    } // [audio]
    float getResonance() const
    {
        return resonance;
    } // [audio]
    // The filter that processes now (after any pending selection has been applied by
    // processGated or applyPendingSelection).
    const zksp_filter* activeFilter() const
    {
        return active;
    } // [audio]
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
#if defined(__SSE2__)
    // The gate smoothers' values over a stretch whose PairKernel has this engine on the left.
    alignas(16) float pairGains[2 * kMaxKernelFrames];
#endif

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

// The compiler cannot always tell that step() and finish() only touch the lanes the
// constructor set for the mode, and would warn of the others.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

inline CFilterEngine::PairKernel::PairKernel(CFilterEngine& left, CFilterEngine& right, int n,
                                             float gateLevel) // [audio]
    : l(left), r(right), gate(gateLevel)
{
#if defined(__SSE2__)
    frames = static_cast<std::uint32_t>(n);
    gain = l.pairGains;
    l.applyPendingSelection();
    r.applyPendingSelection();
    const unsigned type = l.activeType;
    if (type != r.activeType || n > kMaxKernelFrames || n < 1 ||
        (type == 0 && !(zksp_filter_zk_moog::Pair::chained(l.ladder) &&
                        zksp_filter_zk_moog::Pair::chained(r.ladder)))) {
        mode = Mode::BySample;
        return;
    }
    zksp_smoother::processPair(l.gateSmoother, r.gateSmoother, gate, l.pairGains, n);
    switch (type) {
    case 1:
        mode = Mode::Creakbox;
        new (&lanes.creakbox) zksp_filter_creakbox::Pair(l.creakbox, r.creakbox);
        break;
    case 2:
        mode = Mode::Biquad;
        biquadL = &l.lowPass;
        biquadR = &r.lowPass;
        new (&lanes.biquad) zksp_filter_rbj::Pair(l.lowPass, r.lowPass);
        break;
    case 3:
        mode = Mode::FourPole;
        new (&lanes.fourPole) zksp_filter_4PHP::Pair(l.fourPoleHighPass, r.fourPoleHighPass);
        break;
    case 4:
        mode = Mode::Biquad;
        biquadL = &l.highPass;
        biquadR = &r.highPass;
        new (&lanes.biquad) zksp_filter_rbj::Pair(l.highPass, r.highPass);
        break;
    case 5:
        mode = Mode::Biquad;
        biquadL = &l.bandPass;
        biquadR = &r.bandPass;
        new (&lanes.biquad) zksp_filter_rbj::Pair(l.bandPass, r.bandPass);
        break;
    default:
        mode = Mode::Ladder;
        new (&lanes.ladder) zksp_filter_zk_moog::Pair(l.ladder, r.ladder);
        break;
    }
#else
    (void)n;
#endif
}

#if defined(__SSE2__)
inline void CFilterEngine::PairKernel::store() // [audio]
{
    switch (mode) {
    case Mode::Ladder:
        lanes.ladder.store(l.ladder, r.ladder);
        break;
    case Mode::Creakbox:
        lanes.creakbox.store(l.creakbox, r.creakbox);
        break;
    case Mode::Biquad:
        lanes.biquad.store(*biquadL, *biquadR);
        break;
    case Mode::FourPole:
        lanes.fourPole.store(l.fourPoleHighPass, r.fourPoleHighPass);
        break;
    case Mode::BySample:
        break;
    }
}

inline void CFilterEngine::PairKernel::load() // [audio]
{
    switch (mode) {
    case Mode::Ladder:
        lanes.ladder.load(l.ladder, r.ladder);
        break;
    case Mode::Creakbox:
        lanes.creakbox.load(l.creakbox, r.creakbox);
        break;
    case Mode::Biquad:
        lanes.biquad.load(*biquadL, *biquadR);
        break;
    case Mode::FourPole:
        lanes.fourPole.load(l.fourPoleHighPass, r.fourPoleHighPass);
        break;
    case Mode::BySample:
        break;
    }
}
#endif

inline void CFilterEngine::PairKernel::step(float& xl, float& xr) // [audio]
{
#if defined(__SSE2__)
    const __m128 x = _mm_unpacklo_ps(_mm_load_ss(&xl), _mm_load_ss(&xr));
    __m128 y;
    switch (mode) {
    case Mode::Ladder:
        y = lanes.ladder.step(x);
        break;
    case Mode::Creakbox:
        y = lanes.creakbox.step(x);
        break;
    case Mode::Biquad:
        y = lanes.biquad.step(x);
        break;
    case Mode::FourPole:
        y = lanes.fourPole.step(x);
        break;
    default:
        xl = l.processGated(xl, gate);
        xr = r.processGated(xr, gate);
        return;
    }
    // processGated's crossfade in single precision and its non-finite guard, in both lanes.
    const __m128 zero = _mm_setzero_ps();
    const __m128 c = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(gain));
    gain += 2;
    __m128 out = _mm_add_ps(_mm_mul_ps(y, c), _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), c), x));
    const __m128 bad = _mm_cmpneq_ps(_mm_sub_ps(out, out), zero);
    const int badLanes = _mm_movemask_ps(bad);
    if (badLanes != 0) [[unlikely]] {
        // The filter of that channel starts over from silence and the sample is 0.
        store();
        if ((badLanes & 1) != 0)
            l.active->reset();
        if ((badLanes & 2) != 0)
            r.active->reset();
        load();
        out = _mm_andnot_ps(bad, out);
    }
    _mm_store_ss(&xl, out);
    _mm_store_ss(&xr, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
#else
    xl = l.processGated(xl, gate);
    xr = r.processGated(xr, gate);
#endif
}

inline void CFilterEngine::PairKernel::finish() // [audio]
{
#if defined(__SSE2__)
    store();
    if (mode == Mode::Ladder)
        zksp_filter_zk_moog::Pair::count(l.ladder, r.ladder, frames);
#endif
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
