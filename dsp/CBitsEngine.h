#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_sample_guard.h"

#include <algorithm>

#include <cstdint>

// Bit crusher: a sample-and-hold at a fraction of the host rate, then quantisation to fewer
// bits, with "error" made by OR-ing into every sample the bits of an older held sample. A level
// factor pulls the output down at very low bit depths. The crushed signal is crossfaded with the
// dry input by the module's gate level.
//
// Control tick (once every 32 samples, audio thread), the three modulated settings:
//   setBitDepth(d)  "Bits Bit Depth": 24, or 1..17
//   setError(e)     "Bits Error": 0..100, samples between two refreshes of the error mask
//   setRate(r)      "Bits Rate": hold-phase increment per sample, 1.0 down to 0.01
// reset() keeps the state; setSampleRate() only stores the rate.
class CBitsEngine final : public Morvek2Engine
{
public:
    CBitsEngine() = default;

    // shift := trunc(24 - d); level := 10^(-0.15 (6 - trunc(d))) for d <= 6, else 1.
    // d is limited to 0..24 so the shift stays a valid shift count; a NaN counts as 24.
    void setBitDepth(float d); // [audio] control tick
    // error period := trunc(e); limited to 0..1e6, a NaN counts as 0 (no error).
    void setError(float e); // [audio] control tick
    // Limited to 0.01..1 (below, the hold phase would stall; above, it would run away); a NaN
    // counts as 1.
    void setRate(float r); // [audio] control tick

    void reset() override {} // [any] the hold, mask and countdown persist
    inline float processGated(float x, float gate) override; // [audio]
    static void processStretchPair(CBitsEngine& l, CBitsEngine& r, float* xl, float* xr, int n,
                                   float gate) // [audio]
    {
        processStretchBySample(l, r, xl, xr, n, gate);
    }

    // Read-back for the owner's display and for tests.
    int getShift() const { return shift; }             // [audio]
    float getLevel() const { return level; }           // [audio]
    int getErrorPeriod() const { return errorPeriod; } // [audio]
    float getRate() const { return rate; }             // [audio]
    float getLastOutput() const { return lastOutput; } // [audio]
    float getHeldSample() const { return heldSample; } // [audio]
    float getHoldPhase() const { return holdPhase; }   // [audio]

private:
    std::int32_t shift = 0;
    float lastOutput = 0.0f;
    std::int32_t errorPeriod = 100;
    std::int32_t errorCountdown = 1;
    std::int32_t errorMask = 0;
    float rate = 1.0f;
    float holdPhase = 0.0f;
    float heldSample = 0.0f;
    float bitDepth = 24.0f;
    float rateSetting = 1.0f;
    float errorSetting = 100.0f;
    float level = 1.0f;
};

inline float CBitsEngine::processGated(float x, float gate) // [audio]
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
    // first (2147483520 is the largest float below 2^31): converting a float beyond it to an
    // integer is undefined. The held sample is finite, so min and max need no NaN care.
    const float scaled = std::max(std::min(heldSample * 8388608.0f, 2147483520.0f), -2147483648.0f);
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
