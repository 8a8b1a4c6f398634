#include "dsp/CVCAEngine.h"

#include <cmath>
#include <cstdint>
#include <cstring>

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

// The envelope's coefficients are a function of its times, rate and interval alone, and the
// control tick hands the same time again and again: an unchanged time (the same bits) leaves them
// as they are, saving two exponentials per call.
static bool sameBits(float a, float b)
{
    std::uint32_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

void CVCAEngine::setAttackTime(float seconds) // [any]
{
    if (std::isfinite(seconds) && !sameBits(seconds, envelope.getAttackTime()))
        envelope.setAttackTime(seconds);
}

void CVCAEngine::setDecayTime(float seconds) // [any]
{
    if (std::isfinite(seconds) && !sameBits(seconds, envelope.getReleaseTime()))
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
