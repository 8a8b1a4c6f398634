#include "dsp/zksp_SCfreqShifter.h"

#include "dsp/zksp_sample_guard.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// Pole frequencies (Hz) of a published pair of allpass chains whose outputs differ by 90
// degrees over the audio band: chain A, then chain B.
constexpr float kPoles[12] = {0.3609f, 2.7412f, 11.1573f, 44.7581f, 179.6242f, 798.4578f,
                              1.2524f, 5.5671f, 22.3423f, 89.6271f, 364.7914f, 2770.1113f};
// Which two first-order coefficients form each section: A1 A2 A3 B1 B2 B3.
constexpr int kPairs[6][2] = {{0, 5}, {1, 4}, {2, 3}, {6, 11}, {7, 10}, {8, 9}};
} // namespace

zksp_SCfreqShifter::zksp_SCfreqShifter()
{
    computeNetwork();
}

void zksp_SCfreqShifter::computeNetwork()
{
    for (int k = 0; k < 12; ++k) {
        const float u = kPoles[k] * 47.12389f * samplePeriod; // 15 pi
        coefficients[k] = (1.0f - u) / (1.0f + u);
    }
    for (int s = 0; s < 6; ++s) {
        const float a = coefficients[kPairs[s][0]];
        const float b = coefficients[kPairs[s][1]];
        Section& sec = sections[s];
        sec.a1 = -(a + b);
        sec.a2 = a * b;
        sec.b0 = a * b;
        sec.b1 = -(a + b);
    }
}

void zksp_SCfreqShifter::computeIncrement()
{
    float inc = frequency * kTwoPi * samplePeriod;
    // A shift of a whole sample rate or more aliases to the same oscillator; folding the
    // increment keeps the single wrap in process() sufficient.
    if (!(std::fabs(inc) < kTwoPi))
        inc = std::fmod(inc, kTwoPi);
    phaseIncrement = inc;
}

void zksp_SCfreqShifter::setSampleRate(float rate) // [ui] while suspended
{
    zksp_block::setSampleRate(rate);
    computeNetwork();
    computeIncrement();
}

void zksp_SCfreqShifter::setFrequency(float hz) // [audio] control tick
{
    frequency = std::isfinite(hz) ? hz : 0.0f;
    computeIncrement();
}

void zksp_SCfreqShifter::setFeedback(float amount) // [audio] control tick
{
    feedbackGain = zksp_clamp_setting(amount, 0.0f, 1.0f, 0.0f) * 0.4999f + 0.0001f;
}

// The lanes code reads a section's coefficients and states as rows of adjacent floats.
static_assert(offsetof(zksp_SCfreqShifter::Section, b1) == 3 * sizeof(float) &&
              offsetof(zksp_SCfreqShifter::Section, w1) == 4 * sizeof(float) &&
              offsetof(zksp_SCfreqShifter::Section, w2) == 5 * sizeof(float));

void zksp_SCfreqShifter::processStretchPair(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r,
                                            const float* xl, const float* xr, float* yl, float* yr,
                                            int n) // [audio]
{
#if defined(__SSE2__)
    // The oscillators do not depend on the signal: all phases of the stretch first, then their
    // sines and cosines four at a time, so that work stays off the feedback loop below. Equal
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
    // Per sample, the factors of the four chains' outputs: lanes L-A, R-A, L-B, R-B take the
    // cosine, cosine, sine, sine.
    __m128 factor[kMaxStretch];
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

    // The guarded inputs as left/right pairs.
    alignas(16) float pairs[2 * kMaxStretch];
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 gl = zksp_guard_sample4(_mm_loadu_ps(xl + i));
        const __m128 gr = zksp_guard_sample4(_mm_loadu_ps(xr + i));
        _mm_store_ps(pairs + 2 * i, _mm_unpacklo_ps(gl, gr));
        _mm_store_ps(pairs + 2 * i + 4, _mm_unpackhi_ps(gl, gr));
    }
    for (; i < n; ++i) {
        pairs[2 * i] = zksp_guard_sample(xl[i]);
        pairs[2 * i + 1] = zksp_guard_sample(xr[i]);
    }

    // The four allpass chains L-A, R-A, L-B, R-B are the lanes; section k of each is one step.
    // computeNetwork gives every section b0 = a2 and b1 = a1 (the same products), so the
    // product b1 * w1 is the a1 * w1 already formed. The feedback path runs in lanes 0 and 1
    // (left, right); lanes 2 and 3 follow along unused.
    // Section k of the four chains, loaded and stored as whole rows (a1 a2 b0 b1, w1 w2).
    const auto chains = [&l, &r](int k) {
        return std::array<Section*, 4>{&l.sections[k], &r.sections[k], &l.sections[k + 3],
                                       &r.sections[k + 3]};
    };
    const auto gather = [&chains](int k, __m128& a1, __m128& a2, __m128& w1, __m128& w2) {
        const std::array<Section*, 4> c = chains(k);
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
    };
    // Named, not an array, so that the compiler keeps every state in a register.
    __m128 a1x, a2x, w1x, w2x, a1y, a2y, w1y, w2y, a1z, a2z, w1z, w2z;
    gather(0, a1x, a2x, w1x, w2x);
    gather(1, a1y, a2y, w1y, w2y);
    gather(2, a1z, a2z, w1z, w2z);
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 gain = _mm_setr_ps(l.feedbackGain, r.feedbackGain, l.feedbackGain, r.feedbackGain);
    __m128 off =
        _mm_setr_ps(l.denormalOffset, r.denormalOffset, l.denormalOffset, r.denormalOffset);
    __m128 fb = _mm_setr_ps(l.feedbackState, r.feedbackState, l.feedbackState, r.feedbackState);
    __m128 dc = _mm_setr_ps(l.dcAccumulator, r.dcAccumulator, l.dcAccumulator, r.dcAccumulator);
    const __m128 pole = _mm_set1_ps(0.995f);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 two = _mm_set1_ps(2.0f);
    alignas(16) float out[2 * kMaxStretch];
    for (i = 0; i < n; ++i) {
        const __m128 x =
            _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(pairs + 2 * i));
        __m128 s = _mm_add_ps(x, _mm_mul_ps(gain, fb));
        s = _mm_movelh_ps(s, s);
        const auto section = [&s, off](__m128 a1, __m128 a2, __m128& w1, __m128& w2) {
            const __m128 p1 = _mm_mul_ps(a1, w1);
            const __m128 w = _mm_sub_ps(_mm_sub_ps(s, p1), _mm_mul_ps(a2, w2));
            s = _mm_add_ps(_mm_add_ps(_mm_mul_ps(a2, w), p1), w2);
            w2 = _mm_add_ps(w1, off);
            w1 = w;
        };
        section(a1x, a2x, w1x, w2x);
        section(a1y, a2y, w1y, w2y);
        section(a1z, a2z, w1z, w2z);
        off = _mm_xor_ps(off, sign);
        // sn * B + cs * A in lanes 0 and 1.
        const __m128 p = _mm_mul_ps(factor[i], s);
        const __m128 y =
            _mm_add_ps(_mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(p), 0x4E)), p);
        _mm_storel_pi(reinterpret_cast<__m64*>(out + 2 * i), y);
        const __m128 acc = _mm_add_ps(_mm_mul_ps(dc, pole), y);
        const __m128 d = _mm_sub_ps(acc, dc);
        dc = acc;
        const __m128 c = _mm_mul_ps(_mm_sub_ps(_mm_and_ps(_mm_add_ps(d, one), magnitude),
                                               _mm_and_ps(_mm_sub_ps(d, one), magnitude)),
                                    half);
        fb = _mm_sub_ps(_mm_mul_ps(two, c), _mm_mul_ps(_mm_and_ps(c, magnitude), c));
    }

    alignas(16) float lanes[4];
    const auto scatter = [&lanes](__m128 v, float& left, float& right) {
        _mm_store_ps(lanes, v);
        left = lanes[0];
        right = lanes[1];
    };
    scatter(off, l.denormalOffset, r.denormalOffset);
    scatter(fb, l.feedbackState, r.feedbackState);
    scatter(dc, l.dcAccumulator, r.dcAccumulator);
    const auto scatterStates = [&chains](int k, __m128 w1, __m128 w2) {
        const std::array<Section*, 4> c = chains(k);
        const __m128 lo = _mm_unpacklo_ps(w1, w2);
        const __m128 hi = _mm_unpackhi_ps(w1, w2);
        _mm_storel_pi(reinterpret_cast<__m64*>(&c[0]->w1), lo);
        _mm_storeh_pi(reinterpret_cast<__m64*>(&c[1]->w1), lo);
        _mm_storel_pi(reinterpret_cast<__m64*>(&c[2]->w1), hi);
        _mm_storeh_pi(reinterpret_cast<__m64*>(&c[3]->w1), hi);
    };
    scatterStates(0, w1x, w2x);
    scatterStates(1, w1y, w2y);
    scatterStates(2, w1z, w2z);

    for (i = 0; i + 4 <= n; i += 4) {
        const __m128 lo = _mm_load_ps(out + 2 * i);
        const __m128 hi = _mm_load_ps(out + 2 * i + 4);
        _mm_storeu_ps(yl + i, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(yr + i, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    for (; i < n; ++i) {
        yl[i] = out[2 * i];
        yr[i] = out[2 * i + 1];
    }
#else
    for (int i = 0; i < n; ++i) {
        float a = xl[i];
        float b = xr[i];
        processPair(l, r, a, b);
        yl[i] = a;
        yr[i] = b;
    }
#endif
}
