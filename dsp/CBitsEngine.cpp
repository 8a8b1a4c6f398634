#include "dsp/CBitsEngine.h"

#include "dsp/zksp_sample_guard.h"

#include <algorithm>
#include <cmath>

void CBitsEngine::setBitDepth(float d) // [audio] control tick
{
    d = zksp_clamp_setting(d, 0.0f, 24.0f, 24.0f);
    bitDepth = d;
    shift = static_cast<std::int32_t>(24.0f - d);
    if (d <= 6.0f)
        level = std::pow(10.0f, -0.15f * (6.0f - std::trunc(d)));
    else
        level = 1.0f;
}

void CBitsEngine::setError(float e) // [audio] control tick
{
    // A negative period would let the countdown run down without end.
    e = zksp_clamp_setting(e, 0.0f, 1.0e6f, 0.0f);
    errorSetting = e;
    errorPeriod = static_cast<std::int32_t>(e);
}

void CBitsEngine::setRate(float r) // [audio] control tick
{
    r = zksp_clamp_setting(r, 0.01f, 1.0f, 1.0f);
    rateSetting = r;
    rate = r;
}

float CBitsEngine::processGated(float x, float gate) // [audio]
{
    x = zksp_guard_sample(x);
    // The loop hands 0..1; anything else (a NaN included) must not turn the mix non-finite.
    // max(0, NaN) is 0 in this argument order.
    gate = std::min(std::max(0.0f, gate), 1.0f);

    holdPhase += rate;
    if (holdPhase >= 1.0f) {
        heldSample = x;
        // The phase is within [1, 2) here, so the float subtraction is exact: the same result
        // as subtracting in double and rounding back.
        holdPhase -= 1.0f;
    }

    // Full scale becomes a 24-bit signed integer. Louder samples are limited to the 32-bit range
    // first: converting a float beyond it to an integer is undefined.
    float scaled = heldSample * 8388608.0f;
    if (scaled > 2147483520.0f) // the largest float below 2^31
        scaled = 2147483520.0f;
    else if (scaled < -2147483648.0f)
        scaled = -2147483648.0f;
    const std::int32_t v = static_cast<std::int32_t>(scaled);

    const std::int32_t countdown = errorCountdown;
    errorCountdown = countdown - 1;
    if (countdown == 0) {
        errorMask = v;
        errorCountdown = errorPeriod;
    }

    // Arithmetic shifts: the low bits are cleared with rounding toward negative infinity.
    const std::int32_t crushed = ((v | errorMask) >> shift) << shift;
    const float q = static_cast<float>(static_cast<double>(crushed) * 1.1920928955e-7);
    lastOutput = q;
    return gate * level * q + (1.0f - gate) * x;
}
