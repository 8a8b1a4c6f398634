#include "dsp/CDelayEngine.h"

CDelayEngine::CDelayEngine()
{
    delayLine.resize(144000);
    lowPass.setFrequency(12000.0f);
    lowPass.setQ(0.707f);
    highPass.setFrequency(400.0f);
    highPass.setQ(0.707f);
    timeSmoother.setTime(0.002f);
    timeSmoother.setUpdateInterval(1);
}

void CDelayEngine::setDelayTime(float ms) // [audio] control tick
{
    timeSmoother.setTarget(zksp_clamp_setting(ms, 0.0f, kMaxDelayMs, 0.0f));
}

void CDelayEngine::setFeedback(float f) // [audio] control tick
{
    feedback = zksp_clamp_setting(f, 0.0f, 1.0f, 0.0f);
}

void CDelayEngine::setSend(float s) // [audio] control tick
{
    send = zksp_clamp_setting(s, 0.0f, 1.0f, 0.0f);
}

void CDelayEngine::reset() // [ui] while suspended
{
    delayLine.reset();
    lowPass.reset();
    highPass.reset();
    appliedTimeBits = kNoTimeApplied;
}

void CDelayEngine::setSampleRate(float rate) // [ui] while suspended
{
    zksp_delay_memory released = setSampleRate(rate, prepareSampleRate(rate));
    zksp_delay::releaseMemory(released);
}

zksp_delay_memory CDelayEngine::prepareSampleRate(float rate) const // [any] allocates
{
    return delayLine.prepareMemory(rate);
}

zksp_delay_memory CDelayEngine::setSampleRate(float rate, zksp_delay_memory fresh) // [audio]
{
    zksp_block::setSampleRate(rate);
    const zksp_delay_memory released = delayLine.setSampleRate(rate, fresh);
    lowPass.setSampleRate(rate);
    highPass.setSampleRate(rate);
    timeSmoother.setSampleRate(rate);
    appliedTimeBits = kNoTimeApplied;
    return released;
}

#if defined(__SSE2__)

namespace {

// zksp_guard_sample on each lane: the clamp maps NaN to the lower limit, the mask then to 0.
inline __m128 guardLanes(__m128 x)
{
    const __m128 limit = _mm_set1_ps(kZkspSampleLimit);
    const __m128 clamped = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-kZkspSampleLimit)), limit);
    return _mm_and_ps(clamped, _mm_cmpord_ps(x, x));
}

// Floats a and b into lanes 0 and 1.
inline __m128 lanes(float a, float b)
{
    return _mm_unpacklo_ps(_mm_set_ss(a), _mm_set_ss(b));
}

} // namespace

template <bool Glide>
void CDelayEngine::runPair(CDelayEngine& l, CDelayEngine& r, float* xl, float* xr, int n,
                           float gate, const float* tl, const float* tr) // [audio]
{
    zksp_filter_rbj_pair highPasses(l.highPass, r.highPass);
    zksp_filter_rbj_pair lowPasses(l.lowPass, r.lowPass);
    zksp_delay_allpass_pair lines(l.delayLine, r.delayLine);
    std::uint32_t appliedL = l.appliedTimeBits;
    std::uint32_t appliedR = r.appliedTimeBits;
    const __m128 gates = _mm_set1_ps(gate);
    const __m128 sends = lanes(l.send, r.send);
    const __m128 feedbacks = lanes(l.feedback, r.feedback);
    __m128 last = lanes(l.lastOutput, r.lastOutput);
    // processGated on both channels; the filters keep their last step only on the final sample.
    auto sample = [&]<bool Straight, bool Final>(int i) {
        if constexpr (Glide) {
            const std::uint32_t bitsL = std::bit_cast<std::uint32_t>(tl[i]);
            if (bitsL != appliedL) {
                lines.setDelayMsA(tl[i]);
                appliedL = bitsL;
            }
            const std::uint32_t bitsR = std::bit_cast<std::uint32_t>(tr[i]);
            if (bitsR != appliedR) {
                lines.setDelayMsB(tr[i]);
                appliedR = bitsR;
            }
        }
        const __m128 x = guardLanes(lanes(xl[i], xr[i]));
        // (x * gate) * send + feedback * lastOutput, guarded as a whole.
        const __m128 in = guardLanes(
            _mm_add_ps(_mm_mul_ps(_mm_mul_ps(x, gates), sends), _mm_mul_ps(feedbacks, last)));
        const __m128 filtered = lowPasses.process<Final>(highPasses.process<Final>(in));
        if constexpr (Straight)
            last = lines.processStraight(filtered, i);
        else
            last = lines.process(filtered);
        const __m128 out = _mm_add_ps(last, x);
        xl[i] = _mm_cvtss_f32(out);
        xr[i] = _mm_cvtss_f32(_mm_shuffle_ps(out, out, 1));
    };
    auto run = [&]<bool Straight>() {
        for (int i = 0; i < n - 1; ++i)
            sample.template operator()<Straight, false>(i);
        sample.template operator()<Straight, true>(n - 1);
    };
    // While the times rest, the lines' positions only step on: most stretches then reach no
    // end of a line and address both buffers from their start positions.
    if (!Glide && lines.runsStraight(n)) {
        run.template operator()<true>();
        lines.skipStraight(n);
    } else {
        run.template operator()<false>();
    }
    highPasses.store();
    lowPasses.store();
    lines.store();
    l.appliedTimeBits = appliedL;
    r.appliedTimeBits = appliedR;
    l.lastOutput = _mm_cvtss_f32(last);
    r.lastOutput = _mm_cvtss_f32(_mm_shuffle_ps(last, last, 1));
}

void CDelayEngine::processStretchPair(CDelayEngine& l, CDelayEngine& r, float* xl, float* xr, int n,
                                      float gate) // [audio]
{
    if (n <= 0)
        return;
    if (l.timeSmoother.rests() && r.timeSmoother.rests()) {
        // Every update of the stretch returns the same time: the first sample's check is the
        // only one that can set it.
        CDelayEngine* const pair[2] = {&l, &r};
        for (CDelayEngine* e : pair) {
            const float t = e->timeSmoother.current();
            const std::uint32_t bits = std::bit_cast<std::uint32_t>(t);
            if (bits != e->appliedTimeBits) {
                e->delayLine.setDelayMs(t);
                e->appliedTimeBits = bits;
            }
        }
        runPair<false>(l, r, xl, xr, n, gate, nullptr, nullptr);
        return;
    }
    constexpr int kChunk = 32;
    float tl[kChunk], tr[kChunk];
    for (int done = 0; done < n; done += kChunk) {
        const int m = n - done < kChunk ? n - done : kChunk;
        l.timeSmoother.advanceRun(tl, m);
        r.timeSmoother.advanceRun(tr, m);
        runPair<true>(l, r, xl + done, xr + done, m, gate, tl, tr);
    }
}

#else

void CDelayEngine::processStretchPair(CDelayEngine& l, CDelayEngine& r, float* xl, float* xr, int n,
                                      float gate) // [audio]
{
    processStretchBySample(l, r, xl, xr, n, gate);
}

#endif
