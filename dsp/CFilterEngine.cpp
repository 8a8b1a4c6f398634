#include "dsp/CFilterEngine.h"

CFilterEngine::CFilterEngine() : active(&ladder), selected(&ladder)
{
    // The ladder starts at 20 Hz, resonance 0; the biquads and the others at 1000 Hz.
    gateSmoother.setTime(0.005f);
    gateSmoother.setUpdateInterval(1);
}

void CFilterEngine::reset() // [ui] while suspended, or [audio]
{
    ladder.reset();
    lowPass.reset();
    highPass.reset();
    fourPoleHighPass.reset();
    bandPass.reset();
    creakbox.reset();
}

void CFilterEngine::setSampleRate(float rate) // [ui] while suspended, or [audio]
{
    ladder.setSampleRate(rate);
    lowPass.setSampleRate(rate);
    highPass.setSampleRate(rate);
    fourPoleHighPass.setSampleRate(rate);
    bandPass.setSampleRate(rate);
    creakbox.setSampleRate(rate);
    gateSmoother.setSampleRate(rate);
}

zksp_filter* CFilterEngine::memberForType(unsigned type)
{
    switch (type) {
    case 0:
        return &ladder;
    case 1:
        return &creakbox;
    case 2:
        return &lowPass;
    case 3:
        return &fourPoleHighPass;
    case 4:
        return &highPass;
    case 5:
        return &bandPass;
    default:
        return nullptr;
    }
}

const zksp_filter* CFilterEngine::filterForType(unsigned type) const // [any]
{
    return const_cast<CFilterEngine*>(this)->memberForType(type);
}

void CFilterEngine::selectType(std::uint16_t type) // [any]
{
    // Only the audio thread touches filters; a concurrent second request simply wins.
    const std::uint32_t prev = request.load(std::memory_order_relaxed);
    const std::uint32_t serial = ((prev >> 16) + 1u) & 0xFFFFu;
    request.store((serial << 16) | type, std::memory_order_relaxed);
}

void CFilterEngine::applySelection(std::uint32_t req)
{
    applied = req;
    // A type above 5 keeps the last selection and re-applies it.
    if (zksp_filter* f = memberForType(req & 0xFFFFu)) {
        selected = f;
        selectedType = req & 0xFFFFu;
    }
    // The newly active filter starts from silence with the current settings.
    selected->reset();
    selected->setFrequency(frequency);
    selected->setResonance(resonance);
    active = selected;
    activeType = selectedType;
}

void CFilterEngine::setFrequency(float hz) // [audio]
{
    frequency = hz;
    active->setFrequency(hz);
}

void CFilterEngine::setResonance(float r) // [audio]
{
    resonance = r;
    active->setResonance(r);
}
