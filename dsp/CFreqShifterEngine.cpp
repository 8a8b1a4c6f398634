#include "dsp/CFreqShifterEngine.h"

#include "dsp/zksp_sample_guard.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void CFreqShifterEngine::setShiftFrequency(float hz) // [audio] control tick
{
    shifter.setFrequency(hz);
}

void CFreqShifterEngine::setFeedback(float amount) // [audio] control tick
{
    shifter.setFeedback(amount);
}

void CFreqShifterEngine::setMix(float m) // [audio] control tick
{
    mix = zksp_clamp_setting(m, 0.0f, 1.0f, 0.0f);
}

void CFreqShifterEngine::setSampleRate(float rate) // [ui] while suspended
{
    zksp_block::setSampleRate(rate);
    shifter.setSampleRate(rate);
}

void CFreqShifterEngine::processStretchPair(CFreqShifterEngine& l, CFreqShifterEngine& r, float* xl,
                                            float* xr, int n, float gate) // [audio]
{
    // Gate and mix hold over a stretch: whether each channel's shifter runs is decided once.
    float ml = gate * l.mix;
    float mr = gate * r.mix;
    if (!(ml > 0.0f) || !(mr > 0.0f)) {
        // A closed channel passes its samples untouched; an open one alone goes by sample.
        if (ml > 0.0f) {
            for (int i = 0; i < n; ++i) {
                xl[i] = l.processGated(xl[i], gate);
            }
        }
        if (mr > 0.0f) {
            for (int i = 0; i < n; ++i) {
                xr[i] = r.processGated(xr[i], gate);
            }
        }
        return;
    }
    if (ml > 1.0f)
        ml = 1.0f;
    if (mr > 1.0f)
        mr = 1.0f;
    const float dl = 1.0f - ml;
    const float dr = 1.0f - mr;
    constexpr int kChunk = zksp_SCfreqShifter::kMaxStretch;
    alignas(16) float yl[kChunk], yr[kChunk];
    for (int start = 0; start < n; start += kChunk) {
        const int m = n - start < kChunk ? n - start : kChunk;
        float* const pl = xl + start;
        float* const pr = xr + start;
        zksp_SCfreqShifter::processStretchPair(l.shifter, r.shifter, pl, pr, yl, yr, m);
        // y * m + (1 - m) * x with the guarded dry sample, as processGated mixes.
        int i = 0;
#if defined(__SSE2__)
        const __m128 wetL = _mm_set1_ps(ml), dryL = _mm_set1_ps(dl);
        const __m128 wetR = _mm_set1_ps(mr), dryR = _mm_set1_ps(dr);
        for (; i + 4 <= m; i += 4) {
            const __m128 gl = zksp_guard_sample4(_mm_loadu_ps(pl + i));
            const __m128 gr = zksp_guard_sample4(_mm_loadu_ps(pr + i));
            _mm_storeu_ps(pl + i,
                          _mm_add_ps(_mm_mul_ps(_mm_load_ps(yl + i), wetL), _mm_mul_ps(dryL, gl)));
            _mm_storeu_ps(pr + i,
                          _mm_add_ps(_mm_mul_ps(_mm_load_ps(yr + i), wetR), _mm_mul_ps(dryR, gr)));
        }
#endif
        for (; i < m; ++i) {
            pl[i] = yl[i] * ml + dl * zksp_guard_sample(pl[i]);
            pr[i] = yr[i] * mr + dr * zksp_guard_sample(pr[i]);
        }
    }
}
