#include "dsp/CFreqShifterEngine.h"

#include "dsp/zksp_sample_guard.h"

void CFreqShifterEngine::setShiftFrequency(float hz) // [audio] control tick
{
    shifter.setFrequency(hz);
}

void CFreqShifterEngine::setFeedback(float amount) // [audio] control tick
{
    shifter.setFeedback(amount);
}

void CFreqShifterEngine::setMix(float m) // [audio] control tick
{
    mix = zksp_clamp_setting(m, 0.0f, 1.0f, 0.0f);
}

void CFreqShifterEngine::setSampleRate(float rate) // [ui] while suspended
{
    zksp_block::setSampleRate(rate);
    shifter.setSampleRate(rate);
}

float CFreqShifterEngine::PairKernel::processAlone(CFreqShifterEngine& e, float x,
                                                   float gate) // [audio]
{
    return e.processGated(x, gate);
}
