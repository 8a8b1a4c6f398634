#include "dsp/CFilterEngine.h"

#include <algorithm>

CFilterEngine::CFilterEngine() : active(&ladder), selected(&ladder)
{
    // The ladder starts at 20 Hz, resonance 0; the biquads and the others at 1000 Hz.
    gateSmoother.setTime(0.005f);
    gateSmoother.setUpdateInterval(1);
}

void CFilterEngine::reset() // [ui] while suspended, or [audio]
{
    ladder.reset();
    lowPass.reset();
    highPass.reset();
    fourPoleHighPass.reset();
    bandPass.reset();
    creakbox.reset();
}

void CFilterEngine::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    ladder.setSampleRate(rate);
    lowPass.setSampleRate(rate);
    highPass.setSampleRate(rate);
    fourPoleHighPass.setSampleRate(rate);
    bandPass.setSampleRate(rate);
    creakbox.setSampleRate(rate);
    gateSmoother.setSampleRate(rate);
}

zksp_filter* CFilterEngine::memberForType(unsigned type)
{
    switch (type) {
    case 0:
        return &ladder;
    case 1:
        return &creakbox;
    case 2:
        return &lowPass;
    case 3:
        return &fourPoleHighPass;
    case 4:
        return &highPass;
    case 5:
        return &bandPass;
    default:
        return nullptr;
    }
}

const zksp_filter* CFilterEngine::filterForType(unsigned type) const // [any]
{
    return const_cast<CFilterEngine*>(this)->memberForType(type);
}

void CFilterEngine::selectType(std::uint16_t type) // [any]
{
    // Only the audio thread touches filters; a concurrent second request simply wins.
    const std::uint32_t prev = request.load(std::memory_order_relaxed);
    const std::uint32_t serial = ((prev >> 16) + 1u) & 0xFFFFu;
    request.store((serial << 16) | type, std::memory_order_relaxed);
}

void CFilterEngine::applySelection(std::uint32_t req)
{
    applied = req;
    // A type above 5 keeps the last selection and re-applies it.
    if (zksp_filter* f = memberForType(req & 0xFFFFu)) {
        selected = f;
        selectedType = req & 0xFFFFu;
    }
    // The newly active filter starts from silence with the current settings.
    selected->reset();
    selected->setFrequency(frequency);
    selected->setResonance(resonance);
    active = selected;
    activeType = selectedType;
}

void CFilterEngine::setFrequency(float hz) // [audio]
{
    frequency = hz;
    active->setFrequency(hz);
}

void CFilterEngine::setResonance(float r) // [audio]
{
    resonance = r;
    active->setResonance(r);
}

#if defined(__SSE2__)
// processGated after the gate smoother, for both channels in the lanes of one register: the
// filters' Pair, the crossfade in single precision and the non-finite guard, per sample.
template <class Pair, class Filter>
void CFilterEngine::runPair(Filter CFilterEngine::*member, CFilterEngine& l, CFilterEngine& r,
                            float* xl, float* xr, int n, const float* gains)
{
    Pair filters(l.*member, r.*member);
    const __m128 zero = _mm_setzero_ps();
    const __m128 one = _mm_set1_ps(1.0f);
    auto sample = [&](int i, auto step) {
        const __m128 x = _mm_unpacklo_ps(_mm_load_ss(xl + i), _mm_load_ss(xr + i));
        const __m128 y = step(x);
        const __m128 c = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(gains + 2 * i));
        __m128 out = _mm_add_ps(_mm_mul_ps(y, c), _mm_mul_ps(_mm_sub_ps(one, c), x));
        const __m128 bad = _mm_cmpneq_ps(_mm_sub_ps(out, out), zero);
        const int lanes = _mm_movemask_ps(bad);
        if (lanes != 0) [[unlikely]] {
            // The filter of that channel starts over from silence and the sample is 0.
            filters.store();
            if ((lanes & 1) != 0)
                l.active->reset();
            if ((lanes & 2) != 0)
                r.active->reset();
            filters.load();
            out = _mm_andnot_ps(bad, out);
        }
        _mm_store_ss(xl + i, out);
        _mm_store_ss(xr + i, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
    };
    if (n <= 0)
        return;
    sample(0, [&](__m128 x) { return filters.first(x); });
    for (int i = 1; i < n; ++i)
        sample(i, [&](__m128 x) { return filters.step(x); });
    filters.store();
}
#endif

void CFilterEngine::processStretchPair(CFilterEngine& l, CFilterEngine& r, float* xl, float* xr,
                                       int n, float gate) // [audio]
{
#if defined(__SSE2__)
    if (n <= 0)
        return;
    l.applyPendingSelection();
    r.applyPendingSelection();
    if (l.activeType == r.activeType) {
        constexpr int kChunk = 32;
        alignas(16) float gains[2 * kChunk];
        for (int start = 0; start < n; start += kChunk) {
            const int m = std::min(n - start, kChunk);
            float* const cl = xl + start;
            float* const cr = xr + start;
            // The gate smoothers do not depend on the filters: their whole run first.
            zksp_smoother::processPair(l.gateSmoother, r.gateSmoother, gate, gains, m);
            switch (l.activeType) {
            case 1:
                runPair<zksp_filter_creakbox::Pair>(&CFilterEngine::creakbox, l, r, cl, cr, m,
                                                    gains);
                break;
            case 2:
                runPair<zksp_filter_rbj::Pair>(&CFilterEngine::lowPass, l, r, cl, cr, m, gains);
                break;
            case 3:
                runPair<zksp_filter_4PHP::Pair>(&CFilterEngine::fourPoleHighPass, l, r, cl, cr, m,
                                                gains);
                break;
            case 4:
                runPair<zksp_filter_rbj::Pair>(&CFilterEngine::highPass, l, r, cl, cr, m, gains);
                break;
            case 5:
                runPair<zksp_filter_rbj::Pair>(&CFilterEngine::bandPass, l, r, cl, cr, m, gains);
                break;
            default:
                runPair<zksp_filter_zk_moog::Pair>(&CFilterEngine::ladder, l, r, cl, cr, m, gains);
                break;
            }
        }
        return;
    }
#endif
    processStretchBySample(l, r, xl, xr, n, gate);
}
