#include "plugin/Morvek2Core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

Morvek2Core::Morvek2Core()
{
    for (int c = 0; c < 2; ++c) {
        publishedLineSizes[c] = delayEngines[c].getDelayLine().getSize();
    }
    // Live lanes start like the lanes of an empty program.
    for (SeqLane& lane : lanes) {
        seq::initLane(lane);
    }

    params = std::make_unique<Morvek2ParameterManager>();

    for (int m = 0; m < kNumModules; ++m) {
        chainOrder[m].store(static_cast<std::uint16_t>(m), std::memory_order_relaxed);
        enableFactors[m].store(1.0f, std::memory_order_relaxed);
        gateSmoothers[m].setUpdateInterval(kControlInterval);
        gateSmoothers[m].setTime(0.002f);
        gateSmoothers[m].setTarget(0.0f);
        valueSmoothers[m].setUpdateInterval(kControlInterval);
    }
    for (int c = 0; c < 2; ++c) {
        std::array<Morvek2Engine*, kNumModules>& table = c == 0 ? leftEngines : rightEngines;
        table = {&vcaEngines[c],   &filterEngines[c], &distortEngines[c],
                 &delayEngines[c], &shiftEngines[c],  &bitsEngines[c]};
    }
    // Slot i of the packed order holds module i.
    packedChainOrder.store(0u | 1u << 3 | 2u << 6 | 3u << 9 | 4u << 12 | 5u << 15,
                           std::memory_order_relaxed);
    activeSmoother.setTime(0.01f);
    activeSmoother.setUpdateInterval(kControlInterval);
    outputGainSmoother.setTime(0.01f);
    outputGainSmoother.setUpdateInterval(kControlInterval);
    soloIndex.store(0, std::memory_order_relaxed);
    // The right VCA engine pans against the right side.
    vcaEngines[1].setChannelConstant(1.0f);

    // MIDI map (empty; never read from a file), then the bank with the factory programs, and
    // program 0 becomes the live state.
    midiMap = std::make_unique<MidiMap>(static_cast<MidiMapListener&>(*this), kNumParams);
    buildBank();
    setProgram(0);
}

Morvek2Core::~Morvek2Core()
{
    // The writer goes first: it reads the map and the file settings.
    stopMidiFileWriter();
    freeRateChange(pendingRateChange.exchange(nullptr, std::memory_order_acquire));
    discardChange(pendingReset.exchange(nullptr, std::memory_order_acquire));
    releaseAppliedChanges();
}

// ---- Lifecycle
// ------------------------------------------------------------------------------------

void Morvek2Core::resume(bool secondInputConnected, bool secondOutputConnected)
{
    inputMode.store(secondInputConnected ? 2 : 1, std::memory_order_relaxed);
    outputMode.store(secondOutputConnected ? 2 : 1, std::memory_order_relaxed);
}

void Morvek2Core::setSampleRate(float newRate) // [any, not audio]
{
    // Outside the rates hosts run at every time constant and the delay memory would be absurd
    // (a rate of 1e-20, 0, a negative or a non-finite one): keep the rate we have.
    if (!(newRate >= kMinSampleRate && newRate <= kMaxSampleRate)) {
        return;
    }
    {
        // Two threads may set rates at once: from the check to the publication one at a time,
        // so the change published last is the rate set last, and a repeat of it changes nothing.
        const std::lock_guard<std::mutex> lock(rateMutex);
        if (newRate == requestedRate) {
            return;
        }
        // Everything that allocates happens here, on the calling thread.
        RateChange* change = makeChange(newRate);
        if (!change) {
            return;
        }
        requestedRate = newRate;
        for (int c = 0; c < 2; ++c) {
            // Memory that could not be made leaves the line at its size.
            if (change->delayMemory[c].samples) {
                publishedLineSizes[c] = change->delayMemory[c].size;
            }
        }
        // A change the audio thread has not taken yet is overtaken by this one.
        freeRateChange(pendingRateChange.exchange(change, std::memory_order_acq_rel));
    }
    applyPendingIfIdle();
    releaseAppliedChanges();
}

Morvek2Core::RateChange* Morvek2Core::makeReset() // [any, not audio] allocates
{
    auto* reset = new (std::nothrow) RateChange;
    if (reset) {
        reset->rate = requestedRate;
        for (int c = 0; c < 2; ++c) {
            reset->delayMemory[c] = zksp_delay::clearedMemory(publishedLineSizes[c]);
        }
    }
    return reset;
}

Morvek2Core::RateChange* Morvek2Core::makeChange(float rate) // [any, not audio] allocates
{
    auto* change = new (std::nothrow) RateChange;
    if (change) {
        change->rate = rate;
        for (int c = 0; c < 2; ++c) {
            change->delayMemory[c] = delayEngines[c].prepareSampleRate(rate);
        }
    }
    return change;
}

Morvek2Core::AudioBlockScope::AudioBlockScope(Morvek2Core& plugin_) : plugin(plugin_)
{
    int expected = kEnginesFree;
    held = plugin.engineHolder.compare_exchange_strong(expected, kEnginesAudio,
                                                       std::memory_order_acquire);
    if (held) {
        plugin.applyPendingChanges();
    }
}

Morvek2Core::AudioBlockScope::~AudioBlockScope()
{
    if (held) {
        plugin.engineHolder.store(kEnginesFree, std::memory_order_release);
    }
}

void Morvek2Core::applyPendingIfIdle() // [any, not audio]
{
    // Also takes what another thread published while this one held the engines.
    while (pendingRateChange.load(std::memory_order_acquire) != nullptr ||
           pendingReset.load(std::memory_order_acquire) != nullptr) {
        int expected = kEnginesFree;
        if (!engineHolder.compare_exchange_strong(expected, kEnginesChanging,
                                                  std::memory_order_acquire)) {
            return; // a block is running: it applies the change when the next one starts
        }
        applyPendingChanges();
        engineHolder.store(kEnginesFree, std::memory_order_release);
    }
}

void Morvek2Core::applyPendingChanges() // [holder] no allocation
{
    // The reset first: its memory was made for the rate of the last change published before
    // it, which is then in force already or taken below.
    RateChange* reset = pendingReset.exchange(nullptr, std::memory_order_acquire);
    // A line that took the fresh memory of a rate change starts over cleared already.
    bool lineCleared[2] = {false, false};
    if (RateChange* change = pendingRateChange.exchange(nullptr, std::memory_order_acquire)) {
        const float rate = change->rate;
        sampleRate.store(rate, std::memory_order_relaxed);
        sampleRateReciprocal.store(1.0f / rate, std::memory_order_relaxed);
        for (int m = 0; m < kNumModules; ++m) {
            if (m == kDelay) {
                // The delay lines take the memory made for them and hand back their old one.
                for (int c = 0; c < 2; ++c) {
                    const float* made = change->delayMemory[c].samples;
                    change->delayMemory[c] =
                        delayEngines[c].setSampleRate(rate, change->delayMemory[c]);
                    lineCleared[c] = made && change->delayMemory[c].samples != made;
                }
            } else {
                leftEngines[m]->setSampleRate(rate);
                rightEngines[m]->setSampleRate(rate);
            }
            valueSmoothers[m].setSampleRate(rate);
            gateSmoothers[m].setSampleRate(rate);
        }
        outputGainSmoother.setSampleRate(rate);
        activeSmoother.setSampleRate(rate);
        tickForced = true;
        handBack(change);
    }
    if (reset) {
        for (int m = 0; m < kNumModules; ++m) {
            if (m != kDelay) {
                leftEngines[m]->reset();
                rightEngines[m]->reset();
            }
        }
        // The lines take the zeroed memory instead of clearing theirs here: at high rates that
        // would take longer than the block.
        for (int c = 0; c < 2; ++c) {
            if (!lineCleared[c]) {
                reset->delayMemory[c] = delayEngines[c].reset(reset->delayMemory[c]);
            }
        }
        tickForced = true;
        if (reset != &inPlaceReset) {
            handBack(reset);
        }
    }
}

void Morvek2Core::handBack(RateChange* change) // [holder]
{
    // Back to a thread that may free it.
    RateChange* head = appliedRateChanges.load(std::memory_order_relaxed);
    do {
        change->next = head;
    } while (!appliedRateChanges.compare_exchange_weak(head, change, std::memory_order_release,
                                                       std::memory_order_relaxed));
}

void Morvek2Core::discardChange(RateChange* change) // [any, not audio]
{
    if (change != &inPlaceReset) {
        freeRateChange(change);
    }
}

void Morvek2Core::releaseAppliedChanges() // [any, not audio]
{
    RateChange* change = appliedRateChanges.exchange(nullptr, std::memory_order_acquire);
    while (change) {
        RateChange* next = change->next;
        freeRateChange(change);
        change = next;
    }
}

void Morvek2Core::freeRateChange(RateChange* change)
{
    if (!change) {
        return;
    }
    for (zksp_delay_memory& memory : change->delayMemory) {
        zksp_delay::releaseMemory(memory);
    }
    delete change;
}

// ---- Audio
// ----------------------------------------------------------------------------------------

// ---- Parameters
// -----------------------------------------------------------------------------------

float Morvek2Core::getParameter(int index)
{
    if (index < 0 || index >= kNumParams) {
        return 0.0f;
    }
    return params->getValue(index);
}

void Morvek2Core::getParameterLabel(int index, char* label, int length)
{
    params->getLabel(index, label, length);
}

void Morvek2Core::getParameterDisplay(int index, char* text, int length)
{
    params->getDisplay(index, text, length);
}

void Morvek2Core::getParameterName(int index, char* text, int length)
{
    params->getName(index, text, length);
}

// ---- Accessors
// ------------------------------------------------------------------------------------

int Morvek2Core::getChainSlot(int position) const
{
    return chainOrder[clampModule(position)].load(std::memory_order_relaxed);
}

float Morvek2Core::getEnableFactor(int module) const
{
    return enableFactors[clampModule(module)].load(std::memory_order_relaxed);
}
