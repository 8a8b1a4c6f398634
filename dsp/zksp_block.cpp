#include "dsp/zksp_block.h"

#include <cmath>

void zksp_block::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    // A host may announce a rate of 0 (or garbage) before it knows better; every period
    // and coefficient derived from such a rate would be infinite, so the block keeps the
    // rate it has.
    if (!(rate > 0.0f) || !std::isfinite(rate))
        return;
    sampleRate = rate;
    samplePeriod = 1.0f / rate;
    samplesPerMs = rate * 0.001f;
}

void zksp_block::processBlock(const float* in, float* out, int count) // [audio]
{
    for (int i = 0; i < count; ++i)
        out[i] = process(in[i]);
}
