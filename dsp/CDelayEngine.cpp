#include "dsp/CDelayEngine.h"

#include "dsp/zksp_sample_guard.h"

CDelayEngine::CDelayEngine()
{
    delayLine.resize(144000);
    lowPass.setFrequency(12000.0f);
    lowPass.setQ(0.707f);
    highPass.setFrequency(400.0f);
    highPass.setQ(0.707f);
    timeSmoother.setTime(0.002f);
    timeSmoother.setUpdateInterval(1);
}

void CDelayEngine::setDelayTime(float ms) // [audio] control tick
{
    timeSmoother.setTarget(zksp_clamp_setting(ms, 0.0f, kMaxDelayMs, 0.0f));
}

void CDelayEngine::setFeedback(float f) // [audio] control tick
{
    feedback = zksp_clamp_setting(f, 0.0f, 1.0f, 0.0f);
}

void CDelayEngine::setSend(float s) // [audio] control tick
{
    send = zksp_clamp_setting(s, 0.0f, 1.0f, 0.0f);
}

void CDelayEngine::reset() // [ui] while suspended
{
    delayLine.reset();
    lowPass.reset();
    highPass.reset();
}

void CDelayEngine::setSampleRate(float rate) // [ui] while suspended
{
    zksp_block::setSampleRate(rate);
    delayLine.setSampleRate(rate);
    lowPass.setSampleRate(rate);
    highPass.setSampleRate(rate);
    timeSmoother.setSampleRate(rate);
}

float CDelayEngine::processGated(float x, float gate) // [audio]
{
    x = zksp_guard_sample(x);
    const float t = timeSmoother.advance();
    delayLine.setDelayMs(t);
    // Guarded as a whole so a hostile gate cannot reach the filters' state either.
    const float in = zksp_guard_sample(x * gate * send + feedback * lastOutput);
    const float y = delayLine.process(lowPass.process(highPass.process(in)));
    lastOutput = y;
    return y + x;
}
