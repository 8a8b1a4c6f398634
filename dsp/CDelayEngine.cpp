#include "dsp/CDelayEngine.h"

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
    appliedTimeBits = kNoTimeApplied;
}

void CDelayEngine::restart() // [audio]
{
    delayLine.clear();
    lowPass.reset();
    highPass.reset();
    timeSmoother.jumpTo(0.0f);
    lastOutput = 0.0f;
    appliedTimeBits = kNoTimeApplied;
}

zksp_delay_memory CDelayEngine::reset(zksp_delay_memory cleared) // [audio] no allocation
{
    const zksp_delay_memory released = delayLine.reset(cleared);
    lowPass.reset();
    highPass.reset();
    appliedTimeBits = kNoTimeApplied;
    return released;
}

void CDelayEngine::setSampleRate(float rate) // [ui] while suspended
{
    zksp_delay_memory released = setSampleRate(rate, prepareSampleRate(rate));
    zksp_delay::releaseMemory(released);
}

zksp_delay_memory CDelayEngine::prepareSampleRate(float rate) const // [any] allocates
{
    return delayLine.prepareMemory(rate);
}

zksp_delay_memory CDelayEngine::setSampleRate(float rate, zksp_delay_memory fresh) // [audio]
{
    zksp_block::setSampleRate(rate);
    const zksp_delay_memory released = delayLine.setSampleRate(rate, fresh);
    lowPass.setSampleRate(rate);
    highPass.setSampleRate(rate);
    timeSmoother.setSampleRate(rate);
    appliedTimeBits = kNoTimeApplied;
    return released;
}
