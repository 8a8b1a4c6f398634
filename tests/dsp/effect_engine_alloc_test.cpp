#include "dsp/CBitsEngine.h"
#include "dsp/CDelayEngine.h"
#include "dsp/CDistortEngine.h"
#include "dsp/CFreqShifterEngine.h"
#include "support/alloc_counter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Once built, the distortion, delay, shifter and bits engines never touch the heap on the audio
// path: not per sample, not at the control tick, not for hostile settings or delays far beyond
// the line's length.
TEST(EffectEngines, AudioPathAllocatesNothing)
{
    CDistortEngine distort;
    CDelayEngine delay;
    CFreqShifterEngine shift;
    CBitsEngine bits;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float settings[] = {0.0f, 0.5f, 1.0f, 4.5f, 300.0f, 3400.0f, 1e30f, -5.0f, nan};

    morvek2::test::AllocationScope scope;
    for (int i = 0; i < 20000; ++i) {
        if (i % 32 == 0) {
            const float s = settings[(i / 32) % 9];
            distort.setFuzz(s);
            distort.setWarp(s);
            delay.setDelayTime(s);
            delay.setFeedback(s);
            delay.setSend(s);
            shift.setShiftFrequency(s * 100.0f);
            shift.setFeedback(s);
            shift.setMix(s);
            bits.setBitDepth(s);
            bits.setError(s);
            bits.setRate(s);
        }
        float x = std::sin(0.01f * static_cast<float>(i));
        x = distort.processGated(x, 1.0f);
        x = delay.processGated(x, 1.0f);
        x = shift.processGated(x, 1.0f);
        x = bits.processGated(x, 1.0f);
        ASSERT_TRUE(std::isfinite(x)) << i;
    }
    EXPECT_EQ(scope.count(), 0u);
}

} // namespace
