#include "dsp/zksp_filter.h"

#include "dsp/zk_math.h"
#include "dsp/zksp_sine.h"

#include <algorithm>
#include <cmath>

namespace {

// base^n by squaring: plain multiplications, so every platform gets the same bits.
double wholePower(double base, std::uint32_t n)
{
    double result = 1.0;
    while (n != 0) {
        if ((n & 1u) != 0) {
            result *= base;
        }
        base *= base;
        n >>= 1;
    }
    return result;
}

} // namespace

void zksp_filter::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    zksp_block::setSampleRate(rate);
    reset();
    updateCoefficients();
}

// ---------------------------------------------------------------------------------------
// Biquads

void zksp_filter_rbj::reset() // [ui] while suspended, or [audio]
{
    s1 = s2 = 0.0;
    lastInput = lastBand = lastLow = 0.0;
}

void zksp_filter_rbj::setBypass(bool on) // [audio]
{
    if (on) {
        b0 = 1.0f;
        a1 = a2 = b1 = b2 = 0.0f;
        deriveStateVariableForm();
    } else {
        reset();
        updateCoefficients();
    }
}

void zksp_filter_rbj::setFrequency(float hz) // [audio]
{
    // A NaN cutoff is ignored, like any bad value handed to a block.
    if (hz != frequency && !std::isnan(hz)) {
        frequency = hz;
        updateCoefficients();
    }
}

void zksp_filter_rbj::setQ(float q) // [audio]
{
    // Q 0 makes alpha infinite and a huge Q puts the poles on the unit circle; the stored
    // Q is the usable one, so the band-pass output gain that reads it stays finite too.
    if (std::isnan(q))
        return;
    q = std::clamp(q, kMinQ, kMaxQ);
    if (q != Q) {
        Q = q;
        updateCoefficients();
    }
}

void zksp_filter_rbj::updateCoefficients() // [audio]
{
    double w = 2.0 * 3.14159265358979323846 * static_cast<double>(frequency) /
               static_cast<double>(sampleRate);
    // Above Nyquist the design aliases and at it the poles sit on the unit circle; far
    // down cosf rounds to 1 and a pole creeps out. Both ends are held inside.
    if (std::isnan(w))
        w = kMinW0;
    w = std::clamp(w, kMinW0, kMaxW0);
    const float w0 = static_cast<float>(w);
    const float q = Q;

    float sn, cs;
    zk_sincosf(w0, sn, cs);
    // The band-width form of alpha with 1/(2Q) as the argument, not sn / (2Q).
    const float alpha = sn * zk_sinhf(1.0f / (2.0f * q));
    const float n = 1.0f / (1.0f + alpha);
    a1 = -2.0f * cs * n;
    a2 = (1.0f - alpha) * n;
    computeNumerator(cs, alpha, n);
    deriveStateVariableForm();
}

// The biquad (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2) as a trapezoidal
// state-variable filter. With g = tan(w0 / 2) and damping k its denominator is
// D (1 + a1 z^-1 + a2 z^-2), D = 1 + g k + g^2, and its high-, band- and low-pass outputs have
// the numerators (1 - z^-1)^2 / D, g (1 - z^-2) / D and g^2 (1 + z^-1)^2 / D. Everything is
// solved from the single-precision coefficients themselves (in double, where the sums below
// are exact), so the response is the one those coefficients have, rounding included:
//   A(1) = 1 + a1 + a2 = 4 g^2 / D,  A(-1) = 1 - a1 + a2 = 4 / D,  1 - a2 = 2 g k / D;
// the numerator is matched at z^-1 = 1, at z^-1 = -1 and in its leading coefficient.
void zksp_filter_rbj::deriveStateVariableForm()
{
    const double A1 = a1, A2 = a2;
    double atDc = 1.0 + A1 + A2;
    double atNyquist = 1.0 - A1 + A2;
    double damping = 1.0 - A2;
    // The cutoff and Q limits keep the poles inside the unit circle, which makes all three
    // positive; the floor only keeps a coefficient set that is not stable from dividing by 0.
    constexpr double kFloor = 1e-30;
    atDc = std::max(atDc, kFloor);
    atNyquist = std::max(atNyquist, kFloor);
    damping = std::max(damping, kFloor);
    g = std::sqrt(atDc / atNyquist);
    k = 2.0 * damping / (g * atNyquist);
    const double D = 4.0 / atNyquist;

    const double B0 = b0, B1 = b1, B2 = b2;
    const double numDc = B0 + B1 + B2;
    const double numNyquist = B0 - B1 + B2;
    const double high = numNyquist / atNyquist; // weight of (1 - z^-1)^2 / D
    const double low = numDc / atNyquist;       // weight of (1 + z^-1)^2 / D
    const double band = B0 * D - high - low;    // weight of (1 - z^-2) / D
    const double gain = static_cast<double>(outputGain());

    c1 = 1.0 / (1.0 + g * (g + k));
    c2 = g * c1;
    c3 = g * c2;
    // y = high (x - k v1 - v2) + band / g v1 + low / g^2 v2.
    m0 = gain * high;
    m1 = gain * (band / g - k * high);
    m2 = gain * (numDc / atDc - high);

    // Each trapezoidal state is the integrator's last output plus g times its last input
    // (s = v + g u). Kept as they were, the states would carry the old g: after a jump from a
    // high cutoff (g up to 32) to a low one that term comes out as a burst up to g times the
    // signal. Worked out again with the new g and k from the integrators' outputs, the
    // outputs (the analogue prototype's voltages) go on smoothly, and a trapezoidal step never
    // lengthens them whatever g and k are, so no sequence of settings can make them grow.
    // While the settings hold still this gives the states the step has just computed.
    s1 = lastBand + g * (lastInput - k * lastBand - lastLow);
    s2 = lastLow + g * lastBand;
}

float zksp_filter_rbj::processNoOffset(float x) // [audio]
{
    const float y = static_cast<float>(step(x, 0.0));
    if (!std::isfinite(y)) [[unlikely]] {
        reset();
        return 0.0f;
    }
    return y;
}

zksp_filter_rbj_low_pass::zksp_filter_rbj_low_pass()
{
    updateCoefficients();
}

void zksp_filter_rbj_low_pass::setResonance(float r) // [audio]
{
    setQ(r * 10.0f + 1.0f);
}

void zksp_filter_rbj_low_pass::computeNumerator(float cs, float, float n)
{
    b0 = b2 = (1.0f - cs) * 0.5f * n;
    b1 = (1.0f - cs) * n;
}

zksp_filter_rbj_high_pass::zksp_filter_rbj_high_pass()
{
    updateCoefficients();
}

void zksp_filter_rbj_high_pass::setResonance(float r) // [audio]
{
    setQ(r * 10.0f + 1.0f);
}

void zksp_filter_rbj_high_pass::computeNumerator(float cs, float, float n)
{
    b0 = b2 = (1.0f + cs) * 0.5f * n;
    b1 = (-1.0f - cs) * n;
}

zksp_filter_rbj_band_pass::zksp_filter_rbj_band_pass()
{
    updateCoefficients();
}

void zksp_filter_rbj_band_pass::setResonance(float r) // [audio]
{
    setQ(r * 7.0f + 1.0f);
}

void zksp_filter_rbj_band_pass::computeNumerator(float, float alpha, float n)
{
    b0 = alpha * n;
    b1 = 0.0f;
    b2 = -alpha * n;
}

// ---------------------------------------------------------------------------------------
// Four-pole high-pass

zksp_filter_4PHP::zksp_filter_4PHP()
{
    fixed.setQ(1.0f);
}

void zksp_filter_4PHP::reset() // [ui] while suspended, or [audio]
{
    resonant.reset();
    fixed.reset();
}

void zksp_filter_4PHP::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    zksp_block::setSampleRate(rate);
    resonant.setSampleRate(rate);
    fixed.setSampleRate(rate);
}

void zksp_filter_4PHP::setFrequency(float hz) // [audio]
{
    frequency = hz;
    resonant.setFrequency(hz);
    fixed.setFrequency(hz);
}

void zksp_filter_4PHP::setQ(float q) // [audio]
{
    Q = q;
    resonant.setQ(q);
}

void zksp_filter_4PHP::setResonance(float r) // [audio]
{
    setQ(r * 12.0f + 1.0f);
}

// ---------------------------------------------------------------------------------------
// Ladder

zksp_filter_zk_moog::zksp_filter_zk_moog()
{
    frequency = 20.0f;
    Q = 0.0f; // the resonance
    updateCoefficients();
}

void zksp_filter_zk_moog::reset() // [ui] while suspended, or [audio]
{
    for (int i = 0; i < 4; ++i) {
        in[i] = 0.0;
        out[i] = 0.0;
    }
    // Silence fits any cutoff.
    stateF = f;
}

void zksp_filter_zk_moog::setFrequency(float hz) // [audio]
{
    if (hz != frequency && !std::isnan(hz)) {
        frequency = hz;
        updateCoefficients();
    }
}

void zksp_filter_zk_moog::setQ(float q) // [audio]
{
    if (std::isnan(q))
        return;
    Q = q * 0.4f;
    updateCoefficients();
}

void zksp_filter_zk_moog::setResonance(float r) // [audio]
{
    setQ(r * 10.5f);
}

void zksp_filter_zk_moog::updateCoefficients() // [audio]
{
    double hz = frequency;
    // Past half the rate the pole factor 1 - f drops below -1 and every stage diverges;
    // up to it the factor stays at or above -0.16. A negative or NaN cutoff would push the
    // pole above 1, so the bottom is held at 1 Hz.
    const double nyquist = 0.5 * static_cast<double>(sampleRate);
    if (!(hz >= 1.0))
        hz = 1.0;
    if (hz > nyquist)
        hz = nyquist;
    const double previousF = f;
    const double previousPole = oneMinusF;
    normalisedFrequency = 2.0 * hz * static_cast<double>(samplePeriod);
    f = normalisedFrequency * 1.16;
    oneMinusF = 1.0 - f;
    f4 = (f * f) * (f * f);
    feedback = (1.0 - 0.15 * f * f) * Q;
    inputGain = 1.0 + 0.75 * static_cast<double>(Q);
    drive = 0.35013 * f4;
    // The input carries a gain of f^4 and each stage one of 1.3 / f, so the same signal sits in
    // out1..out4 at f^3, f^2, f and 1 times a constant. Kept as they were, a cutoff that falls
    // faster than the stages can follow would amplify what they held at the higher cutoff by up
    // to (1.3 / f)^3 (a hundred dB and more); rescaled, they hold the same signal and the filter
    // rings out at its level. Sweeps the stages can follow run the ladder as it is: stateF, the
    // cutoff the states are scaled for, moves toward the cutoff in force as the stages would
    // (by 1 - f per sample), and only a cutoff below kRescaleBelow times it rescales.
    if (previousF > 0.0) {
        if (samplesSinceUpdate > 0) {
            const double follow = wholePower(std::max(previousPole, 0.0), samplesSinceUpdate);
            stateF = previousF + (stateF - previousF) * follow;
        }
        samplesSinceUpdate = 0;
    } else {
        stateF = f;
    }
    if (f < stateF * kRescaleBelow) {
        const double r = f / stateF;
        stateF = f;
        const double r2 = r * r;
        const double r3 = r2 * r;
        in[0] *= r2 * r2;
        out[0] *= r3;
        in[1] *= r3;
        out[1] *= r2;
        in[2] *= r2;
        out[2] *= r;
        in[3] *= r;
    }
}

// ---------------------------------------------------------------------------------------
// Creakbox

namespace {

double g_creakTable[65];

bool fillCreakTable()
{
    const double h = 1.5707963265;
    for (int k = 0; k <= 64; ++k)
        g_creakTable[k] = zksp_sin_double(
            h * zksp_sin_double(h * zksp_sin_double(h * zksp_sin_double(h * k / 64.0))));
    return true;
}

} // namespace

const double* zksp_filter_creakbox::table() // [any]
{
    // Filled once, under the thread-safe guard of a function-local static, so instances
    // built on different threads never write the shared table at the same time.
    static const bool filled = fillCreakTable();
    (void)filled;
    return g_creakTable;
}

zksp_filter_creakbox::zksp_filter_creakbox()
{
    table();
    frequency = 1000.0f;
    Q = 0.0f;
    normalisedFrequency = frequency * samplePeriod;
    updateDerived();
}

void zksp_filter_creakbox::reset() // [ui] while suspended, or [audio]
{
    s0 = 0.0;
    s1 = 0.0;
}

void zksp_filter_creakbox::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    zksp_filter::setSampleRate(rate);
    // Otherwise the old rate's step would stay until the next frequency change.
    normalisedFrequency = frequency * samplePeriod;
    updateDerived();
}

void zksp_filter_creakbox::setFrequency(float hz) // [audio]
{
    if (hz != frequency)
        frequency = hz;
    normalisedFrequency = hz * samplePeriod;
    updateDerived();
}

void zksp_filter_creakbox::setQ(float q) // [audio]
{
    if (q != Q)
        Q = q;
    updateDerived();
}

void zksp_filter_creakbox::setResonance(float r) // [audio]
{
    setQ(r);
}

void zksp_filter_creakbox::updateDerived()
{
    const double* T = g_creakTable;
    // Both clamps map NaN onto a bound.
    const double a = std::max(static_cast<double>(0.01f),
                              std::min(static_cast<double>(0.7f), double(normalisedFrequency)));
    const double b = std::max(0.0, std::min(1.0, double(Q)));
    // The damping's frequency term uses a fixed 44.1 kHz reference whatever the rate. Held
    // to 0..1 (cutoffs up to 44.1 kHz): far beyond, the damping turns negative and the
    // core diverges; NaN lands on a bound.
    const double l = std::max(0.0, std::min(1.0, static_cast<double>(frequency) * (1.0 / 44100.0)));
    const double a64 = a * 64.0;
    const int i = static_cast<int>(a64);
    const double t = T[i] + (T[i + 1] - T[i]) * (a64 - i);
    double k = (t * (l * static_cast<double>(0.42f) + static_cast<double>(0.023f)) +
                (static_cast<double>(0.965f) - l * static_cast<double>(0.975f)) * b) *
               static_cast<double>(1.01f);
    if (a < static_cast<double>(0.05f))
        k = k * (2.0 * a + static_cast<double>(0.9f));
    step = a;
    damping = 1.0 - k;
}
