#include "dsp/zksp_filter.h"
#include "filter_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace filter_probe;

namespace {

enum class Kind { LowPass, HighPass, BandPass, BandPassComp, FourPoleHP, Ladder, Creakbox };

const Kind kAllKinds[] = {Kind::LowPass,    Kind::HighPass, Kind::BandPass, Kind::BandPassComp,
                          Kind::FourPoleHP, Kind::Ladder,   Kind::Creakbox};

const char* name(Kind k)
{
    switch (k) {
    case Kind::LowPass:
        return "rbj low-pass";
    case Kind::HighPass:
        return "rbj high-pass";
    case Kind::BandPass:
        return "rbj band-pass";
    case Kind::BandPassComp:
        return "rbj band-pass gain comp";
    case Kind::FourPoleHP:
        return "4P high-pass";
    case Kind::Ladder:
        return "ladder";
    case Kind::Creakbox:
        return "creakbox";
    }
    return "?";
}

std::unique_ptr<zksp_filter> make(Kind k)
{
    switch (k) {
    case Kind::LowPass:
        return std::make_unique<zksp_filter_rbj_low_pass>();
    case Kind::HighPass:
        return std::make_unique<zksp_filter_rbj_high_pass>();
    case Kind::BandPass:
        return std::make_unique<zksp_filter_rbj_band_pass>();
    case Kind::BandPassComp:
        return std::make_unique<zksp_filter_rbj_band_pass_gain_comp>();
    case Kind::FourPoleHP:
        return std::make_unique<zksp_filter_4PHP>();
    case Kind::Ladder:
        return std::make_unique<zksp_filter_zk_moog>();
    case Kind::Creakbox:
        return std::make_unique<zksp_filter_creakbox>();
    }
    return nullptr;
}

const double kRates[] = {8000, 11025, 22050, 44100, 48000, 88200, 96000, 192000, 384000};

// Bilinear-transform model of the cookbook biquads with alpha = sin(w0) sinh(1 / 2Q):
// an analog prototype with the effective quality 1 / (2 sinh(1 / 2Q)).
double modelGain(Kind k, double fc, double q, double rate, double hz)
{
    double wc = 2.0 * kPi * fc / rate;
    wc = std::clamp(wc, zksp_filter_rbj::kMinW0, zksp_filter_rbj::kMaxW0);
    const double qe = 1.0 / (2.0 * std::sinh(1.0 / (2.0 * q)));
    const double r = std::tan(kPi * hz / rate) / std::tan(wc / 2.0);
    const double den = std::sqrt((1.0 - r * r) * (1.0 - r * r) + (r / qe) * (r / qe));
    switch (k) {
    case Kind::LowPass:
        return 1.0 / den;
    case Kind::HighPass:
        return r * r / den;
    default:
        return (r / qe) / den;
    }
}

double coefficientGain(const zksp_filter_rbj& f, double hz, double rate)
{
    return biquadGain(f.getB0(), f.getB1(), f.getB2(), f.getA1(), f.getA2(), 2.0 * kPi * hz / rate);
}

// ------------------------------------------------------------------------------ biquads

#if defined(__SSE2__)
// Two biquads run side by side in the lanes of one register give each lane the bits its own
// filter gives, through non-finite inputs in one lane or both (each resets only its own
// filter), and hand back states that carry on alike.
TEST(FilterBiquad, PairInLanesMatchesEachFilterBitForBit)
{
    zksp_filter_rbj_high_pass highPass, highPassRef;
    zksp_filter_rbj_band_pass_gain_comp bandPass, bandPassRef;
    for (zksp_filter_rbj* f :
         {static_cast<zksp_filter_rbj*>(&highPass), static_cast<zksp_filter_rbj*>(&highPassRef)}) {
        f->setSampleRate(48000.0f);
        f->setFrequency(300.0f);
    }
    for (zksp_filter_rbj* f :
         {static_cast<zksp_filter_rbj*>(&bandPass), static_cast<zksp_filter_rbj*>(&bandPassRef)}) {
        f->setFrequency(2500.0f);
        f->setResonance(0.9f);
    }
    // One step of each off, so the lanes' alternating offsets differ too.
    highPass.process(0.25f);
    highPassRef.process(0.25f);
    Noise noise;
    for (int run = 0; run < 40; ++run) {
        zksp_filter_rbj_pair pair(highPass, bandPass);
        for (int i = 0; i < 50; ++i) {
            float a = noise.next();
            float b = noise.next();
            if (i == 7 * (run % 7))
                a = run % 3 == 0 ? NAN : 1e30f;
            if (i == 3 * (run % 11) && run % 2 == 0)
                b = -INFINITY;
            float y[4];
            // Only a run's final step must keep the last step's values.
            _mm_storeu_ps(y, i % 2 && i < 49 ? pair.process<false>(_mm_setr_ps(a, b, 0.0f, 0.0f))
                                             : pair.process(_mm_setr_ps(a, b, 0.0f, 0.0f)));
            const float ya = highPassRef.process(a);
            const float yb = bandPassRef.process(b);
            ASSERT_EQ(std::memcmp(&y[0], &ya, sizeof ya), 0) << "run " << run << " sample " << i;
            ASSERT_EQ(std::memcmp(&y[1], &yb, sizeof yb), 0) << "run " << run << " sample " << i;
        }
        pair.store();
        for (int s = 0; s < zksp_filter_rbj::kStates; ++s) {
            ASSERT_EQ(highPass.stateValue(s), highPassRef.stateValue(s)) << "run " << run;
            ASSERT_EQ(bandPass.stateValue(s), bandPassRef.stateValue(s)) << "run " << run;
        }
        const float x = noise.next();
        ASSERT_EQ(highPass.process(x), highPassRef.process(x)) << "run " << run;
        ASSERT_EQ(bandPass.process(x), bandPassRef.process(x)) << "run " << run;
    }
}
#endif

TEST(FilterBiquad, LowPassUnityDcAtDefaults)
{
    zksp_filter_rbj_low_pass lp;
    EXPECT_EQ(lp.getFrequency(), 1000.0f);
    EXPECT_EQ(lp.getQ(), 0.707f);
    const double dc =
        (double(lp.getB0()) + lp.getB1() + lp.getB2()) / (1.0 + lp.getA1() + lp.getA2());
    EXPECT_NEAR(dc, 1.0, 1e-5);
    // The running filter agrees: a constant input settles at itself.
    float y = 0.0f;
    for (int i = 0; i < 44100; ++i)
        y = lp.process(0.5f);
    EXPECT_NEAR(y, 0.5f, 1e-5f);
}

TEST(FilterBiquad, AlphaUsesHyperbolicSineOfHalfInverseQ)
{
    zksp_filter_rbj_low_pass lp;
    lp.setQ(2.0f);
    const float w0 = static_cast<float>(2.0 * kPi * 1000.0 / 44100.0);
    const float alpha = sinf(w0) * sinhf(1.0f / 4.0f);
    const float n = 1.0f / (1.0f + alpha);
    EXPECT_FLOAT_EQ(lp.getA1(), -2.0f * cosf(w0) * n);
    EXPECT_FLOAT_EQ(lp.getA2(), (1.0f - alpha) * n);
    EXPECT_FLOAT_EQ(lp.getB1(), (1.0f - cosf(w0)) * n);
    // Gain at the cutoff is the effective quality 1 / (2 sinh(1 / 2Q)), not Q.
    EXPECT_NEAR(coefficientGain(lp, 1000.0, 44100.0), 1.0 / (2.0 * std::sinh(0.25)), 1e-4);
}

// DC, cutoff, an octave above and below, and close to Nyquist, against the analytic model,
// over cutoffs and rates from 8 kHz to 384 kHz.
TEST(FilterBiquad, ResponseMatchesBilinearModel)
{
    const Kind kinds[] = {Kind::LowPass, Kind::HighPass, Kind::BandPass};
    for (Kind k : kinds) {
        for (double rate : {8000.0, 44100.0, 96000.0, 384000.0}) {
            for (double fc : {100.0, 1000.0, 3000.0, 15000.0}) {
                for (float q : {0.707f, 1.0f, 4.0f, 11.0f}) {
                    std::unique_ptr<zksp_filter> f = make(k);
                    f->setSampleRate(static_cast<float>(rate));
                    f->setFrequency(static_cast<float>(fc));
                    f->setQ(q);
                    const auto& bq = static_cast<const zksp_filter_rbj&>(*f);
                    const double fEff = std::min(fc, 0.49 * rate);
                    const double w0 = 2.0 * kPi * fEff / rate;
                    // Single-precision coefficients lose relative accuracy as w0 shrinks.
                    const double tolDb = w0 > 0.05 ? 0.02 : w0 > 0.01 ? 0.15 : 0.6;
                    for (double hz : {fEff * 0.5, fEff, fEff * 2.0, rate * 0.45, rate * 0.499}) {
                        if (hz >= rate * 0.5)
                            continue;
                        const double want = modelGain(k, fc, q, rate, hz);
                        const double got = coefficientGain(bq, hz, rate);
                        if (want < 1e-4) {
                            EXPECT_LT(got, 2e-4);
                            continue;
                        }
                        EXPECT_NEAR(dB(got), dB(want), tolDb)
                            << name(k) << " rate " << rate << " fc " << fc << " Q " << q << " at "
                            << hz << " Hz";
                    }
                    if (k == Kind::LowPass) {
                        EXPECT_NEAR(dB(coefficientGain(bq, 0.0, rate)), 0.0, tolDb);
                    } else {
                        EXPECT_LT(coefficientGain(bq, 0.0, rate), 1e-3);
                    }
                }
            }
        }
    }
}

TEST(FilterBiquad, RunningFilterAgreesWithItsCoefficients)
{
    for (Kind k : {Kind::LowPass, Kind::HighPass, Kind::BandPass}) {
        std::unique_ptr<zksp_filter> f = make(k);
        f->setFrequency(2000.0f);
        f->setResonance(0.3f);
        for (double hz : {500.0, 2000.0, 4000.0, 12000.0}) {
            f->reset();
            const double got = sineGain([&](float x) { return f->process(x); }, hz, 44100.0);
            const double want =
                coefficientGain(static_cast<const zksp_filter_rbj&>(*f), hz, 44100.0);
            EXPECT_NEAR(dB(got), dB(want), 0.02) << name(k) << " at " << hz;
        }
    }
}

// The state-variable core has exactly the transfer function of the cookbook coefficients,
// rounding of those coefficients included: the running filter's impulse response, summed into
// its spectrum, against (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2) of the same
// coefficients, within 0.01 dB wherever the response is above -60 dB, at every cutoff of the
// parameter's range, every resonance and rates from 8 kHz to 384 kHz.
TEST(FilterBiquad, RunningResponseIsTheDirectFormCoefficientsResponse)
{
    const Kind kinds[] = {Kind::LowPass, Kind::HighPass, Kind::BandPass, Kind::BandPassComp,
                          Kind::FourPoleHP};
    for (double rate : {8000.0, 44100.0, 96000.0, 384000.0}) {
        for (float fc : {40.0f, 150.0f, 1000.0f, 5000.0f, 12000.0f, 20000.0f}) {
            for (float r : {0.0f, 0.5f, 1.0f}) {
                for (Kind k : kinds) {
                    std::unique_ptr<zksp_filter> f = make(k);
                    f->setSampleRate(static_cast<float>(rate));
                    f->setFrequency(fc);
                    f->setResonance(r);
                    // The direct form of today's coefficients (two stages for the four-pole).
                    const zksp_filter_rbj* stages[2] = {nullptr, nullptr};
                    float gain = 1.0f;
                    if (k == Kind::FourPoleHP) {
                        const auto& hp = static_cast<const zksp_filter_4PHP&>(*f);
                        stages[0] = &hp.fixedStage();
                        stages[1] = &hp.resonantStage();
                    } else {
                        stages[0] = static_cast<const zksp_filter_rbj*>(f.get());
                        if (k == Kind::BandPassComp)
                            gain = (f->getQ() - 0.8f) * 0.2f + 1.2f;
                    }
                    const double fEff = std::min(static_cast<double>(fc), 0.49 * rate);
                    std::vector<double> probes;
                    for (double m : {0.0, 0.25, 0.5, 0.9, 1.0, 1.1, 2.0, 4.0})
                        if (m * fEff < 0.49 * rate)
                            probes.push_back(2.0 * kPi * m * fEff / rate);
                    probes.push_back(2.0 * kPi * 0.49);
                    // The impulse response, until it has died away.
                    std::vector<std::complex<double>> sum(probes.size());
                    double peak = 0.0, recent = 0.0;
                    for (int n = 0; n < (1 << 22); ++n) {
                        const double h = k == Kind::FourPoleHP
                                             ? f->process(n == 0 ? 1.0f : 0.0f)
                                             : static_cast<zksp_filter_rbj&>(*f).processNoOffset(
                                                   n == 0 ? 1.0f : 0.0f);
                        for (std::size_t p = 0; p < probes.size(); ++p)
                            sum[p] += h * std::polar(1.0, -probes[p] * n);
                        peak = std::max(peak, std::fabs(h));
                        recent = std::max(recent, std::fabs(h));
                        if (n % 4096 == 4095) {
                            if (recent < peak * 1e-9)
                                break;
                            recent = 0.0;
                        }
                    }
                    for (std::size_t p = 0; p < probes.size(); ++p) {
                        double want = gain;
                        for (const zksp_filter_rbj* st : stages) {
                            if (st)
                                want *= biquadGain(st->getB0(), st->getB1(), st->getB2(),
                                                   st->getA1(), st->getA2(), probes[p]);
                        }
                        const double got = std::abs(sum[p]);
                        if (want < 1e-3) {
                            EXPECT_LT(std::fabs(got - want), 1e-5)
                                << name(k) << " rate " << rate << " fc " << fc << " r " << r;
                            continue;
                        }
                        EXPECT_NEAR(dB(got), dB(want), 0.01)
                            << name(k) << " rate " << rate << " fc " << fc << " r " << r << " at "
                            << probes[p] * rate / (2.0 * kPi) << " Hz";
                    }
                }
            }
        }
    }
}

TEST(FilterBiquad, ExtremeResonancePeaks)
{
    zksp_filter_rbj_low_pass lp;
    lp.setResonance(1.0f);
    EXPECT_EQ(lp.getQ(), 11.0f);
    const double qe = 1.0 / (2.0 * std::sinh(1.0 / 22.0));
    EXPECT_NEAR(coefficientGain(lp, 1000.0, 44100.0), qe, qe * 0.01);
    EXPECT_GT(dB(qe), 20.0);

    zksp_filter_rbj_band_pass bp;
    bp.setResonance(1.0f);
    EXPECT_EQ(bp.getQ(), 8.0f);
    EXPECT_NEAR(coefficientGain(bp, 1000.0, 44100.0), 1.0, 1e-3);
    // Half an octave away the narrow band-pass is well down.
    EXPECT_LT(coefficientGain(bp, 1414.0, 44100.0), 0.2);

    zksp_filter_rbj_band_pass_gain_comp comp;
    comp.setResonance(1.0f);
    double g = sineGain([&](float x) { return comp.process(x); }, 1000.0, 44100.0);
    EXPECT_NEAR(g, 2.64, 0.01);
    comp.setResonance(0.0f);
    comp.reset();
    g = sineGain([&](float x) { return comp.process(x); }, 1000.0, 44100.0);
    EXPECT_NEAR(g, 1.24, 0.01);
}

TEST(FilterBiquad, CutoffAboveNyquistStaysBelowIt)
{
    // At 8 kHz the delay's 12 kHz low-pass and a 20 kHz filter setting exceed Nyquist.
    for (Kind k : {Kind::LowPass, Kind::HighPass, Kind::BandPass}) {
        std::unique_ptr<zksp_filter> a = make(k);
        std::unique_ptr<zksp_filter> b = make(k);
        a->setSampleRate(8000.0f);
        b->setSampleRate(8000.0f);
        a->setFrequency(20000.0f);
        b->setFrequency(0.49f * 8000.0f);
        a->setResonance(1.0f);
        b->setResonance(1.0f);
        const auto& qa = static_cast<const zksp_filter_rbj&>(*a);
        const auto& qb = static_cast<const zksp_filter_rbj&>(*b);
        EXPECT_NEAR(qa.getA1(), qb.getA1(), 1e-5) << name(k);
        EXPECT_NEAR(qa.getA2(), qb.getA2(), 1e-5) << name(k);
        EXPECT_LT(poleRadius(qa.getA1(), qa.getA2()), 1.0) << name(k);
        // The stored frequency is what the caller gave.
        EXPECT_EQ(a->getFrequency(), 20000.0f);
    }
    // At 44.1 kHz and above nothing up to 20 kHz is limited.
    zksp_filter_rbj_low_pass lp;
    lp.setFrequency(20000.0f);
    const float w0 = static_cast<float>(2.0 * kPi * 20000.0 / 44100.0);
    const float alpha = sinf(w0) * sinhf(1.0f / (2.0f * 0.707f));
    EXPECT_FLOAT_EQ(lp.getA2(), (1.0f - alpha) / (1.0f + alpha));
}

TEST(FilterBiquad, ResonanceMappings)
{
    zksp_filter_rbj_low_pass lp;
    zksp_filter_rbj_high_pass hp;
    zksp_filter_rbj_band_pass bp;
    zksp_filter_4PHP hp4;
    zksp_filter_zk_moog ladder;
    zksp_filter_creakbox creak;
    lp.setResonance(0.0f);
    hp.setResonance(0.0f);
    bp.setResonance(0.0f);
    hp4.setResonance(0.0f);
    ladder.setResonance(0.0f);
    creak.setResonance(0.0f);
    EXPECT_EQ(lp.getQ(), 1.0f);
    EXPECT_EQ(hp.getQ(), 1.0f);
    EXPECT_EQ(bp.getQ(), 1.0f);
    EXPECT_EQ(hp4.resonantStage().getQ(), 1.0f);
    EXPECT_EQ(ladder.getQ(), 0.0f);
    EXPECT_EQ(creak.getQ(), 0.0f);
    lp.setResonance(1.0f);
    hp.setResonance(0.5f);
    bp.setResonance(1.0f);
    hp4.setResonance(1.0f);
    ladder.setResonance(1.0f);
    creak.setResonance(0.8f);
    EXPECT_EQ(lp.getQ(), 11.0f);
    EXPECT_EQ(hp.getQ(), 6.0f);
    EXPECT_EQ(bp.getQ(), 8.0f);
    EXPECT_EQ(hp4.resonantStage().getQ(), 13.0f);
    EXPECT_EQ(hp4.fixedStage().getQ(), 1.0f);
    EXPECT_NEAR(ladder.getQ(), 4.2f, 1e-6f);
    EXPECT_EQ(creak.getQ(), 0.8f);
}

TEST(FilterBiquad, BypassPassesInputAndRestoresCoefficients)
{
    zksp_filter_rbj_high_pass hp;
    hp.setFrequency(3000.0f);
    hp.setQ(5.0f);
    const float a1 = hp.getA1(), b0 = hp.getB0();
    for (int i = 0; i < 100; ++i)
        hp.process(i % 7 * 0.1f);
    hp.setBypass(true);
    for (float x : {0.3f, -1.0f, 0.0f, 1e-3f, 7.5f})
        EXPECT_EQ(hp.process(x), x);
    // Same frequency: no recomputation, so the filter stays bypassed.
    hp.setFrequency(3000.0f);
    hp.setQ(5.0f);
    EXPECT_EQ(hp.process(0.7f), 0.7f);
    hp.setBypass(false);
    for (int i = 0; i < zksp_filter_rbj::kStates; ++i)
        EXPECT_EQ(hp.stateValue(i), 0.0);
    EXPECT_EQ(hp.getA1(), a1);
    EXPECT_EQ(hp.getB0(), b0);
}

TEST(FilterBiquad, SameFrequencyKeepsStateAndCoefficients)
{
    zksp_filter_rbj_low_pass lp;
    for (int i = 0; i < 50; ++i)
        lp.process(1.0f);
    double before[zksp_filter_rbj::kStates];
    for (int i = 0; i < zksp_filter_rbj::kStates; ++i)
        before[i] = lp.stateValue(i);
    lp.setFrequency(1000.0f);
    lp.setQ(0.707f);
    for (int i = 0; i < zksp_filter_rbj::kStates; ++i)
        EXPECT_EQ(lp.stateValue(i), before[i]) << i;
    // A different frequency recomputes; the integrators' outputs go on from where they were.
    lp.setFrequency(2000.0f);
    for (int i = 2; i < zksp_filter_rbj::kStates; ++i)
        EXPECT_EQ(lp.stateValue(i), before[i]) << i;
    EXPECT_NE(lp.getA1(), zksp_filter_rbj_low_pass().getA1());
    // The next output continues from the low-pass output it had (about 1) instead of a jump.
    EXPECT_NEAR(lp.process(1.0f), 1.0f, 0.05f);
}

TEST(FilterBiquad, NoOffsetVariantDiffersOnlyByTheOffset)
{
    zksp_filter_rbj_low_pass a, b;
    // From silence, only the offset excites the plain biquad; the variant stays at 0.
    float ya = 0.0f, yb = 0.0f;
    for (int i = 0; i < 100; ++i) {
        ya = a.process(0.0f);
        yb = b.processNoOffset(0.0f);
    }
    EXPECT_NE(ya, 0.0f);
    EXPECT_LT(std::fabs(ya), 1e-10f);
    EXPECT_EQ(yb, 0.0f);
    float maxDiff = 0.0f;
    for (int i = 0; i < 1000; ++i) {
        const float x = std::sin(i * 0.05f);
        maxDiff = std::max(maxDiff, std::fabs(a.process(x) - b.processNoOffset(x)));
    }
    EXPECT_LT(maxDiff, 1e-6f);
}

// ------------------------------------------------------------------- four-pole high-pass

TEST(FilterFourPoleHighPass, CascadeOfFixedAndResonantStage)
{
    zksp_filter_4PHP f;
    f.setFrequency(500.0f);
    f.setResonance(0.25f); // resonant stage Q 4
    zksp_filter_rbj_high_pass fixed, res;
    fixed.setFrequency(500.0f);
    fixed.setQ(1.0f);
    res.setFrequency(500.0f);
    res.setQ(4.0f);
    for (int i = 0; i < 2000; ++i) {
        const float x = std::sin(i * 0.03f) + 0.3f * std::sin(i * 0.7f);
        ASSERT_EQ(f.process(x), res.process(fixed.process(x)));
    }
    // Four poles: two octaves below the cutoff the level is down by roughly 48 dB.
    f.reset();
    const double g = sineGain([&](float x) { return f.process(x); }, 125.0, 44100.0);
    EXPECT_LT(dB(g), -40.0);
    EXPECT_GT(dB(g), -56.0);
}

TEST(FilterFourPoleHighPass, FollowsTheHostRate)
{
    // The response around the cutoff is the same at 44.1 and 96 kHz.
    double g44 = 0.0, g96 = 0.0;
    for (double rate : {44100.0, 96000.0}) {
        zksp_filter_4PHP f;
        f.setSampleRate(static_cast<float>(rate));
        f.setFrequency(1000.0f);
        f.setResonance(0.5f);
        const double g = sineGain([&](float x) { return f.process(x); }, 1000.0, rate);
        (rate < 50000 ? g44 : g96) = g;
        EXPECT_EQ(f.getSampleRate(), static_cast<float>(rate));
        EXPECT_EQ(f.resonantStage().getSampleRate(), static_cast<float>(rate));
        EXPECT_EQ(f.fixedStage().getSampleRate(), static_cast<float>(rate));
    }
    EXPECT_NEAR(dB(g44), dB(g96), 0.1);
}

// -------------------------------------------------------------------------------- ladder

// Small-signal model of the ladder: four stages (1 + 0.3 z^-1) / (1 - (1 - f) z^-1) scaled
// by 0.35013 f^4, input gain 2 + 0.75 res, feedback of the previous output.
double ladderModel(double fc, double resonance, double rate, double hz)
{
    const double f = 2.0 * std::min(fc, rate * 0.5) / rate * 1.16;
    const double fb = (1.0 - 0.15 * f * f) * resonance;
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / rate);
    const std::complex<double> stage = (1.0 + 0.3 * z1) / (1.0 - (1.0 - f) * z1);
    const std::complex<double> chain = stage * stage * stage * stage * (0.35013 * f * f * f * f);
    return std::abs((2.0 + 0.75 * resonance) * chain / (1.0 + fb * z1 * chain));
}

TEST(FilterLadder, DcGainIsTwoAtZeroResonance)
{
    for (double rate : {8000.0, 44100.0, 384000.0}) {
        for (float fc : {200.0f, 1000.0f, 3000.0f}) {
            zksp_filter_zk_moog m;
            m.setSampleRate(static_cast<float>(rate));
            m.setFrequency(fc);
            m.setResonance(0.0f);
            float y = 0.0f;
            for (int i = 0; i < static_cast<int>(rate); ++i)
                y = m.process(0.1f);
            EXPECT_NEAR(y, 0.2f, 1e-4f) << rate << " " << fc;
        }
    }
}

TEST(FilterLadder, SmallSignalResponseMatchesModel)
{
    for (double rate : {44100.0, 96000.0}) {
        for (double fc : {300.0, 2000.0}) {
            for (float r : {0.0f, 0.5f}) {
                for (double hz : {fc * 0.5, fc, fc * 2.0}) {
                    zksp_filter_zk_moog m;
                    m.setSampleRate(static_cast<float>(rate));
                    m.setFrequency(static_cast<float>(fc));
                    m.setResonance(r);
                    const double got =
                        sineGain([&](float x) { return m.process(x); }, hz, rate, 0.01);
                    const double want = ladderModel(fc, r * 10.5 * 0.4, rate, hz);
                    EXPECT_NEAR(dB(got), dB(want), 0.05)
                        << rate << " " << fc << " " << r << " " << hz;
                }
            }
            // Four poles: an octave above the cutoff is well below it.
            const double slope =
                dB(ladderModel(fc, 0.0, rate, 2 * fc)) - dB(ladderModel(fc, 0.0, rate, fc));
            EXPECT_LT(slope, -15.0);
        }
    }
}

// The ladder exactly as the algorithm reads, with no rescaling of its states.
struct LiteralLadder
{
    double f = 0, fb = 0, res = 0, in[4] = {}, out[4] = {}, offset = 1e-5;
    void set(double hz, double resonance, double rate)
    {
        hz = std::min(std::max(hz, 1.0), 0.5 * rate);
        f = 2.0 * hz * static_cast<double>(static_cast<float>(1.0 / rate)) * 1.16;
        res = resonance;
        fb = (1.0 - 0.15 * f * f) * res;
    }
    float process(float x)
    {
        const double xd = x;
        double v = xd - out[3] * fb + xd * (1.0 + 0.75 * res);
        v = std::max(-0.99, std::min(0.99, v)) + offset;
        offset = -offset;
        v *= 0.35013 * ((f * f) * (f * f));
        double prev = v;
        for (int s = 0; s < 4; ++s) {
            const double o = prev + 0.3 * in[s] + (1.0 - f) * out[s];
            in[s] = prev;
            out[s] = o;
            prev = o;
        }
        return static_cast<float>(out[3]);
    }
};

// A sweep the stages can follow (an LFO of a quarter hertz over the whole cutoff range, set at
// every control tick) runs the ladder as the algorithm reads, sample for sample; a cutoff that
// falls by decades at once rescales the states, so it rings out at its input's level.
TEST(FilterLadder, SlowSweepsRunTheLiteralLadderAndFallsAreRescaled)
{
    for (double rate : {44100.0, 96000.0}) {
        for (float r : {0.0f, 1.0f}) {
            zksp_filter_zk_moog m;
            LiteralLadder ref;
            m.setSampleRate(static_cast<float>(rate));
            Noise noise;
            double maxDiff = 0.0;
            const int n = static_cast<int>(rate * 4.0);
            for (int i = 0; i < n; ++i) {
                if (i % 32 == 0) {
                    const double u = 0.5 - 0.5 * std::cos(2.0 * kPi * 0.25 * i / rate);
                    const float hz = static_cast<float>(40.0 * std::pow(500.0, u));
                    m.setFrequency(hz);
                    m.setResonance(r);
                    ref.set(hz, static_cast<double>(r * 10.5f * 0.4f), rate);
                }
                const float x = 0.5f * noise.next();
                maxDiff = std::max(maxDiff, std::fabs(double(m.process(x)) - ref.process(x)));
            }
            EXPECT_EQ(maxDiff, 0.0) << rate << " r " << r;

            // From 20 kHz to 40 Hz in one step, full-scale noise: the literal ladder would
            // come out far above full scale.
            zksp_filter_zk_moog jump;
            jump.setSampleRate(static_cast<float>(rate));
            jump.setResonance(r);
            jump.setFrequency(20000.0f);
            for (int i = 0; i < 4096; ++i)
                jump.process(noise.next());
            jump.setFrequency(40.0f);
            float peak = 0.0f;
            for (int i = 0; i < static_cast<int>(rate / 2); ++i)
                peak = std::max(peak, std::fabs(jump.process(noise.next())));
            EXPECT_LT(peak, 2.0f) << rate << " r " << r;
        }
    }
}

TEST(FilterLadder, FullScaleAtMaximumResonanceStaysBounded)
{
    zksp_filter_zk_moog m;
    m.setFrequency(1000.0f);
    m.setResonance(1.0f);
    Noise noise;
    float peak = 0.0f;
    for (int i = 0; i < 88200; ++i) {
        const float y = m.process(i % 100 < 50 ? 1.0f : -1.0f);
        peak = std::max(peak, std::fabs(y));
        ASSERT_TRUE(std::isfinite(y));
    }
    EXPECT_LE(peak, 1.0f);
    EXPECT_GT(peak, 0.1f);
}

TEST(FilterLadder, CutoffLimitedAtLowRates)
{
    // At 8 kHz a 20 kHz cutoff would put the pole factor at -4.8.
    for (float fc : {20000.0f, 22050.0f, 1e9f}) {
        zksp_filter_zk_moog m;
        m.setSampleRate(8000.0f);
        m.setFrequency(fc);
        EXPECT_GE(m.poleFactor(), -0.16 - 1e-6);
        EXPECT_LT(m.poleFactor(), 1.0);
    }
    // 44.1 kHz keeps its cutoffs up to Nyquist unchanged.
    zksp_filter_zk_moog m;
    m.setFrequency(22050.0f);
    EXPECT_NEAR(m.poleFactor(), 1.0 - 1.16, 1e-6);
    m.setFrequency(20000.0f);
    EXPECT_NEAR(m.poleFactor(), 1.0 - 2.0 * 20000.0 * double(1.0f / 44100.0f) * 1.16, 1e-12);
}

// ------------------------------------------------------------------------------ creakbox

TEST(FilterCreakbox, SharedTableValues)
{
    const double* T = zksp_filter_creakbox::table();
    EXPECT_EQ(T[0], 0.0);
    EXPECT_NEAR(T[8], 0.656978, 1e-6);
    EXPECT_NEAR(T[16], 0.938764, 1e-6);
    EXPECT_NEAR(T[32], 0.999781, 1e-6);
    for (int k = 44; k <= 64; ++k)
        EXPECT_NEAR(T[k], 1.0, 1e-6) << k;
    for (int k = 1; k <= 64; ++k)
        EXPECT_GE(T[k], T[k - 1]);
}

TEST(FilterCreakbox, UnityAtDcForAnyCutoffAndQ)
{
    for (double rate : {8000.0, 44100.0, 192000.0}) {
        for (float fc : {40.0f, 440.0f, 3000.0f, 20000.0f}) {
            for (float q : {0.0f, 0.5f, 1.0f}) {
                zksp_filter_creakbox c;
                c.setSampleRate(static_cast<float>(rate));
                c.setFrequency(fc);
                c.setResonance(q);
                float y = 0.0f;
                for (int i = 0; i < static_cast<int>(rate) * 2; ++i)
                    y = c.process(1.0f);
                EXPECT_NEAR(y, 1.0f, 1e-4f) << rate << " " << fc << " " << q;
            }
        }
    }
}

TEST(FilterCreakbox, LowPassesAndResonates)
{
    zksp_filter_creakbox c;
    c.setFrequency(1000.0f);
    c.setResonance(0.0f);
    const double above = sineGain([&](float x) { return c.process(x); }, 8000.0, 44100.0);
    EXPECT_LT(dB(above), -20.0);
    c.reset();
    const double pass = sineGain([&](float x) { return c.process(x); }, 100.0, 44100.0);
    EXPECT_NEAR(dB(pass), 0.0, 1.0);
    // Resonance lifts the region around the cutoff well above the unresonant level.
    double plain = 0.0, peak = 0.0;
    for (double hz = 400.0; hz < 4000.0; hz *= 1.12) {
        c.setResonance(0.0f);
        c.reset();
        plain = std::max(plain, sineGain([&](float x) { return c.process(x); }, hz, 44100.0));
        c.setResonance(0.9f);
        c.reset();
        peak = std::max(peak, sineGain([&](float x) { return c.process(x); }, hz, 44100.0));
    }
    EXPECT_GT(dB(peak) - dB(plain), 6.0);
}

TEST(FilterCreakbox, StepIsClampedButLowCutoffsStillMatter)
{
    // Below 441 Hz (at 44.1 kHz) the step stays at 0.01; only the damping term changes.
    zksp_filter_creakbox a, b;
    a.setFrequency(100.0f);
    b.setFrequency(400.0f);
    a.setResonance(0.5f);
    b.setResonance(0.5f);
    EXPECT_FLOAT_EQ(a.getNormalisedFrequency(), 100.0f / 44100.0f);
    double diff = 0.0;
    for (int i = 0; i < 4000; ++i) {
        const float x = (i / 200) % 2 ? 0.5f : -0.5f;
        diff = std::max(diff, double(std::fabs(a.process(x) - b.process(x))));
    }
    EXPECT_GT(diff, 1e-6);
    EXPECT_LT(diff, 0.2);
}

TEST(FilterCreakbox, SampleRateChangeRecomputesStep)
{
    zksp_filter_creakbox c;
    c.setFrequency(2000.0f);
    c.setSampleRate(96000.0f);
    EXPECT_FLOAT_EQ(c.getNormalisedFrequency(), 2000.0f * (1.0f / 96000.0f));
}

// ----------------------------------------------------------------- all filters together

// Every type at every resonance and at cutoffs from below the parameter range to far
// above Nyquist, at rates 8 kHz to 384 kHz: a full-scale noise burst never produces a
// non-finite or runaway output, and the linear ones settle afterwards.
TEST(FilterAll, StableAtEveryRateCutoffAndResonance)
{
    const float cutoffs[] = {20.0f,   40.0f,    100.0f,   400.0f,   1000.0f,  3000.0f,
                             8000.0f, 12000.0f, 16000.0f, 20000.0f, 22050.0f, 30000.0f};
    for (Kind k : kAllKinds) {
        std::unique_ptr<zksp_filter> f = make(k);
        for (double rate : kRates) {
            f->setSampleRate(static_cast<float>(rate));
            for (float fc : cutoffs) {
                for (int ri = 0; ri <= 10; ++ri) {
                    const float r = ri * 0.1f;
                    f->reset();
                    f->setFrequency(fc);
                    f->setResonance(r);
                    Noise noise;
                    float peak = 0.0f;
                    for (int i = 0; i < 4096; ++i) {
                        const float y = f->process(noise.next());
                        ASSERT_TRUE(std::isfinite(y))
                            << name(k) << " rate " << rate << " fc " << fc << " r " << r;
                        peak = std::max(peak, std::fabs(y));
                    }
                    ASSERT_LT(peak, 200.0f)
                        << name(k) << " rate " << rate << " fc " << fc << " r " << r;
                    // A biquad is stable when its poles are inside the unit circle.
                    if (k != Kind::Ladder && k != Kind::Creakbox && k != Kind::FourPoleHP) {
                        const auto& bq = static_cast<const zksp_filter_rbj&>(*f);
                        ASSERT_LT(poleRadius(bq.getA1(), bq.getA2()), 1.0)
                            << name(k) << " rate " << rate << " fc " << fc << " r " << r;
                    }
                    if (k == Kind::FourPoleHP) {
                        const auto& hp = static_cast<const zksp_filter_4PHP&>(*f);
                        ASSERT_LT(
                            poleRadius(hp.resonantStage().getA1(), hp.resonantStage().getA2()),
                            1.0);
                    }
                }
            }
        }
    }
}

// Checked through the silence, not only at its end: a state can sit among subnormal numbers for
// seconds (every step several times slower) before it decays to zero.
TEST(FilterAll, NoSubnormalStateAfterLoudSignalAndTenSecondsOfSilence)
{
    const auto states = [](const zksp_filter& f) {
        std::vector<double> state;
        if (auto* bq = dynamic_cast<const zksp_filter_rbj*>(&f)) {
            for (int i = 0; i < zksp_filter_rbj::kStates; ++i)
                state.push_back(bq->stateValue(i));
        } else if (auto* hp = dynamic_cast<const zksp_filter_4PHP*>(&f)) {
            for (int i = 0; i < zksp_filter_rbj::kStates; ++i) {
                state.push_back(hp->resonantStage().stateValue(i));
                state.push_back(hp->fixedStage().stateValue(i));
            }
        } else if (auto* m = dynamic_cast<const zksp_filter_zk_moog*>(&f)) {
            for (int i = 0; i < 8; ++i)
                state.push_back(m->stateValue(i));
        } else if (auto* c = dynamic_cast<const zksp_filter_creakbox*>(&f)) {
            state.push_back(c->stateValue(0));
            state.push_back(c->stateValue(1));
        }
        return state;
    };
    // At 7 kHz and full resonance the creakbox's output lands exactly on its input offset.
    for (double rate : {44100.0, 384000.0}) {
        for (Kind k : kAllKinds) {
            for (float hz : {800.0f, 7000.0f}) {
                for (float r : {0.0f, 1.0f}) {
                    std::unique_ptr<zksp_filter> f = make(k);
                    f->setSampleRate(static_cast<float>(rate));
                    f->setFrequency(hz);
                    f->setResonance(r);
                    Noise noise;
                    for (int i = 0; i < 4410; ++i)
                        f->process(noise.next());
                    float y = 1.0f;
                    double subnormal = 0.0;
                    int at = -1;
                    const int n = static_cast<int>(rate * 10.0);
                    for (int i = 0; i < n && at < 0; ++i) {
                        y = f->process(0.0f);
                        if (i % 64 == 63 || i == n - 1) {
                            const std::vector<double> state = states(*f);
                            ASSERT_FALSE(state.empty());
                            for (double s : state) {
                                if (!normalOrZero(s)) {
                                    subnormal = s;
                                    at = i;
                                }
                            }
                        }
                    }
                    EXPECT_EQ(at, -1) << name(k) << " " << hz << " Hz r " << r << " rate " << rate
                                      << ": state " << subnormal;
                    EXPECT_TRUE(normalOrZero(y)) << name(k) << " r " << r << " rate " << rate;
                }
            }
        }
    }
}

TEST(FilterAll, RecoversFromNonFiniteInput)
{
    for (Kind k : kAllKinds) {
        for (float bad : {NAN, INFINITY, -INFINITY}) {
            std::unique_ptr<zksp_filter> f = make(k);
            f->setFrequency(1000.0f);
            f->setResonance(0.5f);
            for (int i = 0; i < 100; ++i)
                f->process(std::sin(i * 0.1f));
            f->process(bad);
            f->process(bad);
            float y = 0.0f;
            for (int i = 0; i < 4410; ++i) {
                y = f->process(std::sin(i * 0.1f));
                ASSERT_TRUE(std::isfinite(y)) << name(k) << " sample " << i;
            }
            EXPECT_GT(std::fabs(y) + std::fabs(f->process(0.5f)), 0.0f) << name(k);
        }
    }
}

TEST(FilterAll, NonFiniteSettingsStayStable)
{
    for (Kind k : kAllKinds) {
        for (float bad : {NAN, INFINITY, -INFINITY, 0.0f, -1000.0f, 1e6f, 1e30f}) {
            std::unique_ptr<zksp_filter> f = make(k);
            f->setFrequency(bad);
            f->setQ(bad);
            Noise noise;
            for (int i = 0; i < 4410; ++i) {
                const float y = f->process(noise.next());
                ASSERT_TRUE(std::isfinite(y)) << name(k) << " setting " << bad;
                ASSERT_LT(std::fabs(y), 1000.0f) << name(k) << " setting " << bad;
            }
        }
    }
}

} // namespace
