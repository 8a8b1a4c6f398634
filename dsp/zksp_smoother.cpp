#include "dsp/zksp_smoother.h"

#include "dsp/zk_math.h"

#include <bit>
#include <cmath>

float zksp_smoother_lag_processor::coefficientFor(float t, int n, float r) // [any]
{
    float u = t / static_cast<float>(n); // seconds per update
    u = u * r;                           // updates per time constant
    // u = 0 would make -1/u = -inf and expf 0 anyway; a negative or NaN time would give a
    // pole at or above 1, which never settles or diverges, so those jump as well.
    if (!(u > 0.0f))
        return 0.0f;
    return zk_expf(-1.0f / u);
}

float zksp_smoother_lag_processor::finishStep(float S, float T, float c)
{
    // A non-finite value (a NaN handed in as a target) must not stick: fall back to the
    // target, or to rest at 0 when the target itself is unusable.
    if (!(S - S == 0.0f)) {
        S = (T - T == 0.0f) ? T : kOffset;
        target.store(S, std::memory_order_relaxed);
        return S;
    }
    // Close to its target the step rounds away in single precision and the value would
    // stall short of it for good (2 % short for a 0.2 s fall at 384 kHz): creep on by one
    // unit in the last place instead, which ends the approach smoothly. A pole of 1 (an
    // endless time) is meant to hold still.
    if (c < 1.0f)
        S = std::nextafter(S, T);
    return S;
}

zksp_smoother_lag_processor::zksp_smoother_lag_processor()
    : attackCoef(coefficientFor(0.005f, 1, 44100.0f)),
      releaseCoef(coefficientFor(0.005f, 1, 44100.0f))
{}

void zksp_smoother_lag_processor::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    zksp_block::setSampleRate(rate);
    coefficientRate.store(sampleRate, std::memory_order_relaxed);
    reset();
    updateCoefficients();
}

void zksp_smoother_lag_processor::setAttackTime(float seconds) // [any]
{
    attackTime.store(seconds, std::memory_order_relaxed);
    updateCoefficients();
}

void zksp_smoother_lag_processor::setReleaseTime(float seconds) // [any]
{
    releaseTime.store(seconds, std::memory_order_relaxed);
    updateCoefficients();
}

void zksp_smoother_lag_processor::setUpdateInterval(int samples) // [any]
{
    // An interval of 0 would divide the time by zero and freeze the value.
    updateInterval.store(samples < 1 ? 1 : samples, std::memory_order_relaxed);
    updateCoefficients();
}

void zksp_smoother_lag_processor::setTarget(float v) // [any]
{
    target.store(v + kOffset, std::memory_order_relaxed);
}

void zksp_smoother_lag_processor::jumpTo(float v) // [any]
{
    target.store(v + kOffset, std::memory_order_relaxed);
    state.store(v + kOffset, std::memory_order_relaxed);
}

zksp_smoother_lag_processor::CoefficientInputs
zksp_smoother_lag_processor::coefficientInputs() const // [any]
{
    return {std::bit_cast<std::uint32_t>(attackTime.load(std::memory_order_relaxed)),
            std::bit_cast<std::uint32_t>(releaseTime.load(std::memory_order_relaxed)),
            std::bit_cast<std::uint32_t>(coefficientRate.load(std::memory_order_relaxed)),
            updateInterval.load(std::memory_order_relaxed)};
}

void zksp_smoother_lag_processor::publish(std::atomic<float>& coefficient, float value) // [any]
{
    // Every write of a coefficient is an exchange (acquire and release), so the last one in the
    // coefficient's order sees every time and rate stored before any earlier exchange.
    coefficient.exchange(value, std::memory_order_acq_rel);
}

void zksp_smoother_lag_processor::updateCoefficients() // [any]
{
    // A time may be set on one thread while the audio thread applies a new rate, and each then
    // computes from what it read. The writer whose coefficient lands last sees, after landing
    // it, every input the others stored; it computes again until what it used is what stands.
    // So the coefficients left behind are always those of the last time and rate.
    for (;;) {
        const CoefficientInputs in = coefficientInputs();
        const float r = std::bit_cast<float>(in.rate);
        publish(attackCoef,
                coefficientFor(std::bit_cast<float>(in.attackTime), in.updateInterval, r));
        publish(releaseCoef,
                coefficientFor(std::bit_cast<float>(in.releaseTime), in.updateInterval, r));
        if (coefficientInputs() == in)
            return;
    }
}

void zksp_smoother::updateCoefficients() // [any]
{
    // As the lag processor's, with the attack coefficient only.
    for (;;) {
        const CoefficientInputs in = coefficientInputs();
        publish(attackCoef, coefficientFor(std::bit_cast<float>(in.attackTime), in.updateInterval,
                                           std::bit_cast<float>(in.rate)));
        if (coefficientInputs() == in)
            return;
    }
}

void zksp_smoother::setTime(float seconds) // [any]
{
    setAttackTime(seconds);
}

void zksp_smoother::advanceRunPair(zksp_smoother& a, zksp_smoother& b, float* ta, float* tb,
                                   int n) // [audio]
{
    const float Ta = a.target.load(std::memory_order_relaxed);
    const float Tb = b.target.load(std::memory_order_relaxed);
    const float ca = a.attackCoef.load(std::memory_order_relaxed);
    const float cb = b.attackCoef.load(std::memory_order_relaxed);
    float Sa = a.state.load(std::memory_order_relaxed);
    float Sb = b.state.load(std::memory_order_relaxed);
    int i = 0;
    for (; i < n; ++i) {
        const float nextA = (Sa - Ta) * ca + Ta;
        const float nextB = (Sb - Tb) * cb + Tb;
        // A rare ending on either chain: each finishes the run on its own from there.
        if ((nextA == Sa && nextA != Ta) || nextA - nextA != 0.0f || (nextB == Sb && nextB != Tb) ||
            nextB - nextB != 0.0f) [[unlikely]]
            break;
        Sa = nextA;
        Sb = nextB;
        ta[i] = nextA - kOffset;
        tb[i] = nextB - kOffset;
    }
    a.state.store(Sa, std::memory_order_relaxed);
    b.state.store(Sb, std::memory_order_relaxed);
    if (i < n) {
        a.advanceRun(ta + i, n - i);
        b.advanceRun(tb + i, n - i);
    }
}
