#include "dsp/CVCAEngine.h"

#include <cmath>

void CVCAEngine::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    envelope.setSampleRate(rate);
}

void CVCAEngine::setDepth(float depth01) // [any]
{
    if (!std::isfinite(depth01))
        return;
    depth.store(depth01, std::memory_order_relaxed);
    depthFactor.store(1.0f - depth01, std::memory_order_relaxed);
}

void CVCAEngine::setPan(float pan01) // [any]
{
    if (!std::isfinite(pan01))
        return;
    pan.store(pan01, std::memory_order_relaxed);
    storePanOffset(pan01 - channelConstant.load(std::memory_order_relaxed));
}

void CVCAEngine::setAttackTime(float seconds) // [any]
{
    if (std::isfinite(seconds))
        envelope.setAttackTime(seconds);
}

void CVCAEngine::setDecayTime(float seconds) // [any]
{
    if (std::isfinite(seconds))
        envelope.setReleaseTime(seconds);
}

void CVCAEngine::setChannelConstant(float c) // [any]
{
    channelConstant.store(c, std::memory_order_relaxed);
    storePanOffset(pan.load(std::memory_order_relaxed) - c);
}

void CVCAEngine::storePanOffset(float p) // [any]
{
    panOffset.store(p, std::memory_order_relaxed);
    panGain.store(1.0f - p * p, std::memory_order_relaxed);
}
