#pragma once

#include "dsp/Morvek2Engine.h"

// Distortion in two stages: a fuzz stage drives the signal into the stored transfer curve
// (dsp/zksp_fuzz_curve.h), and a warp stage folds the result through a sine. The wet signal
// (at most 0.2 in magnitude) is crossfaded with the dry input by the module's gate level; with the
// gate closed the engine passes its input untouched and does no work.
//
// Control tick (once every 32 samples, audio thread), the two modulated settings:
//   setFuzz(f)  "Distort Fuzz": 0..1, drive from 1 to about 32.4
//   setWarp(w)  "Distort Warp": 0.5..4.5 sine periods across the curve range
// reset() does nothing; setSampleRate() only stores the rate.
class CDistortEngine : public Morvek2Engine
{
public:
    CDistortEngine() = default;

    // Limited to 0..1; a NaN counts as 0.
    void setFuzz(float f); // [audio] control tick
    // Limited to 0.5..4.5; a NaN counts as 0.5. Also stores w * 2 pi in double precision.
    void setWarp(float w); // [audio] control tick

    float processGated(float x, float gate) override; // [audio]

    float getFuzz() const { return fuzz; }                       // [audio]
    float getWarp() const { return warp; }                       // [audio]
    double getWarpAngle() const { return warpAngle; }            // [audio]
    float getLastCurveOutput() const { return lastCurveOutput; } // [audio]
    float getLastOutput() const { return lastOutput; }           // [audio]

private:
    float fuzz = 0.0f;
    float curveScale = 0.85f;
    float lastCurveOutput = 0.0f;
    float warp = 0.5f;
    double warpAngle = 3.14159265358979323846;
    float lastOutput = 0.0f;
};
