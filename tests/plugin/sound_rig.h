// A Morvek2 linked into the test with a host whose transport the test sets per block, and a
// neutral sound to start from (no lane moves unless the test says so).
#pragma once

#include "params/Morvek2Params.h"
#include "vst2/Morvek2.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace soundtest {

using namespace morvek2::param;

// What the host answers; one rig at a time per thread of tests.
struct HostState
{
    bool provideTime = true;
    VstTimeInfo info{};
    int connectedInputs = 2;
    int connectedOutputs = 2;
    // Off when several threads automate at once (the log is not thread-safe).
    bool logAutomation = true;
    std::vector<std::pair<int, float>> automated;
};

inline HostState* gHost = nullptr;

inline VstIntPtr VSTCALLBACK rigHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                     void*, float opt)
{
    HostState* h = gHost;
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterGetTime:
        return (h && h->provideTime) ? reinterpret_cast<VstIntPtr>(&h->info) : 0;
    case audioMasterPinConnected:
        if (!h) {
            return 0;
        }
        return index < (value ? h->connectedOutputs : h->connectedInputs) ? 0 : 1;
    case audioMasterAutomate:
        if (h && h->logAutomation) {
            h->automated.emplace_back(index, opt);
        }
        return 0;
    default:
        return 0;
    }
}

// Opens the protected parts for inspection.
struct Probe : Morvek2
{
    using Morvek2::activeSmoother;
    using Morvek2::delayEngines;
    using Morvek2::gateSmoothers;
    using Morvek2::outputGainSmoother;
    using Morvek2::valueSmoothers;
    using Morvek2::vcaEngines;
    explicit Probe(audioMasterCallback host) : Morvek2(host) {}
    float gateTarget(int m) const { return gateSmoothers[m].getEncodedTarget() - 5.0f; }
    float valueTarget(int m) const { return valueSmoothers[m].getEncodedTarget() - 5.0f; }
};

struct Rig
{
    HostState host;
    Probe plugin;
    double tempo = 120.0;
    double samplePos = 0.0;

    Rig() : plugin((gHost = &host, &rigHost))
    {
        host.info.sampleRate = 44100.0;
        host.info.tempo = tempo;
        host.info.timeSigNumerator = 4;
        host.info.timeSigDenominator = 4;
        host.info.flags =
            kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
        neutral();
        plugin.resume();
    }
    ~Rig() { gHost = nullptr; }

    void set(int index, float normalised) { plugin.setParameter(index, normalised); }
    // Sets a parameter by its working value.
    void setWorking(int index, float working)
    {
        set(index, plugin.getParameterManager().workingToNormalised(index, working));
    }

    // Every lane forward over 32 steps at "1/16" with value 0 and gate off; no resets, no
    // re-rolls, no Mute or Solo; the VCA at its least depth, so a closed gate still lets the signal
    // through; Active on at 0 dB.
    void neutral()
    {
        for (int m = 0; m < 6; ++m) {
            setWorking(kStepSizeParam[m], 4.0f);
            setWorking(kLengthParam[m], 32.0f);
            setWorking(kDirectionParam[m], 0.0f);
            set(kRstRandParam[m], 0.0f);
            set(kGateRstRandParam[m], 0.0f);
            if (kMuteParam[m] >= 0) {
                set(kMuteParam[m], 0.0f);
            }
            set(kSoloParam[m], 0.0f);
            for (int s = 0; s < 32; ++s) {
                plugin.setStepValueLock(m, s, false);
                plugin.setStepGateLock(m, s, false);
                plugin.setStepValue(m, s, 0.0f);
                plugin.setStepGate(m, s, false);
            }
            SeqLane& lane = plugin.getLane(m);
            seq::store(lane.position, 0);
        }
        set(kResetInterval, 0.0f);
        set(kVcaDepth, 0.0f);
        setWorking(kOutputGain, 0.0f);
        set(kActive, 1.0f);
    }

    // The host's position for the coming block, computed from the sample position as hosts do.
    double ppqNow() const { return samplePos * tempo / 60.0 / host.info.sampleRate; }

    // One host block: time information describing it, then the transport moves on.
    void block(float** in, float** out, int frames)
    {
        host.info.tempo = tempo;
        host.info.samplePos = samplePos;
        host.info.ppqPos = ppqNow();
        plugin.processReplacing(in, out, frames);
        if (host.info.flags & kVstTransportPlaying) {
            samplePos += frames;
        }
    }

    // Silent stereo blocks of `frames`, in place.
    void silence(int frames)
    {
        std::vector<float> l(static_cast<std::size_t>(frames) + 1),
            r(static_cast<std::size_t>(frames) + 1);
        float* io[2] = {l.data(), r.data()};
        block(io, io, frames);
    }
};

// Deterministic test signal.
inline std::vector<float> noise(std::size_t n, std::uint32_t seed, float level = 0.5f)
{
    std::vector<float> v(n);
    for (float& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 2.0f * level;
    }
    return v;
}

} // namespace soundtest
