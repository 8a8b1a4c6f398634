#include "dsp/CVCAEngine.h"

#include <cmath>

void CVCAEngine::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    envelope.setSampleRate(rate);
}

void CVCAEngine::setDepth(float depth01) // [any]
{
    if (std::isfinite(depth01))
        depth.store(depth01, std::memory_order_relaxed);
}

void CVCAEngine::setPan(float pan01) // [any]
{
    if (!std::isfinite(pan01))
        return;
    pan.store(pan01, std::memory_order_relaxed);
    panOffset.store(pan01 - channelConstant.load(std::memory_order_relaxed),
                    std::memory_order_relaxed);
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
    panOffset.store(pan.load(std::memory_order_relaxed) - c, std::memory_order_relaxed);
}
