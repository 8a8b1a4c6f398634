#include "dsp/zksp_smoother.h"

#include "dsp/zk_math.h"

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

void zksp_smoother_lag_processor::updateCoefficients() // [any]
{
    const int n = updateInterval.load(std::memory_order_relaxed);
    const float r = sampleRate;
    attackCoef.store(coefficientFor(attackTime.load(std::memory_order_relaxed), n, r),
                     std::memory_order_relaxed);
    releaseCoef.store(coefficientFor(releaseTime.load(std::memory_order_relaxed), n, r),
                      std::memory_order_relaxed);
}

void zksp_smoother::updateCoefficients() // [any]
{
    attackCoef.store(coefficientFor(attackTime.load(std::memory_order_relaxed),
                                    updateInterval.load(std::memory_order_relaxed), sampleRate),
                     std::memory_order_relaxed);
}

void zksp_smoother::setTime(float seconds) // [any]
{
    setAttackTime(seconds);
}
