#include "dsp/CDistortEngine.h"

#include "dsp/zksp_sample_guard.h"

void CDistortEngine::setFuzz(float f) // [audio] control tick
{
    fuzz = zksp_clamp_setting(f, 0.0f, 1.0f, 0.0f);
    drive = static_cast<double>(fuzz) * 31.415926536 + 1.0;
}

void CDistortEngine::setWarp(float w) // [audio] control tick
{
    warp = zksp_clamp_setting(w, 0.5f, 4.5f, 0.5f);
    warpAngle = static_cast<double>(warp) * (2.0 * 3.14159265358979323846);
}
