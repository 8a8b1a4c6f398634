#include "dsp/CDistortEngine.h"

#include "dsp/zksp_fuzz_curve.h"
#include "dsp/zksp_sample_guard.h"
#include "dsp/zksp_sine.h"

#include <algorithm>
#include <cmath>

void CDistortEngine::setFuzz(float f) // [audio] control tick
{
    fuzz = zksp_clamp_setting(f, 0.0f, 1.0f, 0.0f);
}

void CDistortEngine::setWarp(float w) // [audio] control tick
{
    warp = zksp_clamp_setting(w, 0.5f, 4.5f, 0.5f);
    warpAngle = static_cast<double>(warp) * (2.0 * 3.14159265358979323846);
}

float CDistortEngine::processGated(float x, float gate) // [audio]
{
    if (!(gate > 0.0f))
        return x;
    if (gate > 1.0f)
        gate = 1.0f;
    x = zksp_guard_sample(x);

    float a = static_cast<float>((static_cast<double>(fuzz) * 31.415926536 + 1.0) *
                                 static_cast<double>(x));
    // Branch-free clamp: loud or heavily driven signals hit both ends at random.
    a = std::min(std::max(a, -1.0f), 1.0f);

    // a in [-1, 1] puts b in [1, 511]: i + 1 is at most 512, the guard entry read with weight 0.
    const float b = a * 255.0f + 256.0f;
    const int i = static_cast<int>(b);
    const float fr = b - static_cast<float>(i);
    const double s = ((1.0 - static_cast<double>(fr)) * static_cast<double>(zksp_fuzz_curve[i]) +
                      static_cast<double>(fr) * static_cast<double>(zksp_fuzz_curve[i + 1])) *
                     static_cast<double>(curveScale);
    lastCurveOutput = static_cast<float>(s);

    // |s * warp angle| stays below 24 (|s| <= 0.85, angle <= 9 pi).
    const float e =
        static_cast<float>(zksp_sin_double(static_cast<double>(lastCurveOutput) * warpAngle));
    lastOutput = e;
    return (1.0f - gate) * x + e * 0.2f * gate;
}
