#include "dsp/CBitsEngine.h"

#include "dsp/zk_math.h"
#include "dsp/zksp_sample_guard.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

void CBitsEngine::setBitDepth(float d) // [audio] control tick
{
    d = zksp_clamp_setting(d, 0.0f, 24.0f, 24.0f);
    // The control tick hands the same depth again and again; shift and level are functions of
    // it alone, so an unchanged depth (the same bits) keeps them and saves the power.
    std::uint32_t now, before;
    std::memcpy(&now, &d, sizeof now);
    std::memcpy(&before, &bitDepth, sizeof before);
    if (now == before)
        return;
    bitDepth = d;
    shift = static_cast<std::int32_t>(24.0f - d);
    if (d <= 6.0f)
        level = zk_powf(10.0f, -0.15f * (6.0f - std::trunc(d)));
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
