#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_smoother.h"

#include <atomic>

// Amplitude module: the signal times an envelope that follows the module's gate level
// through an attack/decay lag, scaled by the depth and a parabolic pan law. The left and
// right engines differ only in their channel constant (0 left, 1 right).
//
// The processing loop sets, at every control tick and on both engines, the modulated
// values of the VCA parameters:
//   setDepth(d)        "VCA Depth", 0..1: how far the gain drops with the gate closed;
//   setPan(p)          "VCA Pan", 0..1 (0 left, 0.5 centre, 1 right);
//   setAttackTime(s)   "VCA Attack", 0.001..0.150 s: envelope time for rising gain;
//   setDecayTime(s)    "VCA Decay", 0.001..0.200 s: envelope time for falling gain.
// setParameter also passes a changed attack or decay time from any thread.
// Setters ignore NaN and infinities, so a damaged value never reaches the envelope.
class CVCAEngine final : public Morvek2Engine
{
public:
    CVCAEngine() = default;

    // The envelope keeps its value: nothing to clear.
    void reset() override {} // [any]
    // Passed to the envelope only.
    void setSampleRate(float rate) override; // [ui] while suspended, or [audio]

    // level = (1 - depth)(1 - gate) + gate, times 1 - (pan - channel)^2, through the
    // envelope, times x.
    float processGated(float x, float gate) override; // [audio]
    // One stretch of both channels (n <= kMaxKernelFrames frames between two control ticks), a
    // frame at a time, for a loop that interleaves several modules' frames: the envelopes do not
    // depend on the signal, so the constructor runs them for the whole stretch and a frame is
    // two multiplications.
    class PairKernel
    {
    public:
        PairKernel(CVCAEngine& l, CVCAEngine& r, int n, float gate); // [audio]
        void step(float& xl, float& xr)                              // [audio]
        {
            xl = gains[0][frame] * xl;
            xr = gains[1][frame] * xr;
            ++frame;
        }
        void finish() {} // [audio] the envelopes are already where the stretch leaves them

    private:
        float gains[2][kMaxKernelFrames];
        int frame = 0;
    };
    // processGated over n samples of the two channels' engines, in place, with the same results.
    static void processStretchPair(CVCAEngine& l, CVCAEngine& r, float* xl, float* xr, int n,
                                   float gate) // [audio]
    {
        for (int start = 0; start < n; start += kMaxKernelFrames) {
            const int m = n - start < kMaxKernelFrames ? n - start : kMaxKernelFrames;
            PairKernel kernel(l, r, m, gate);
            for (int i = start; i < start + m; ++i) {
                kernel.step(xl[i], xr[i]);
            }
            kernel.finish();
        }
    }

    void setDepth(float depth01);      // [any]
    void setPan(float pan01);          // [any]
    void setAttackTime(float seconds); // [any]
    void setDecayTime(float seconds);  // [any]
    // 0.0 for the left engine, 1.0 for the right; the plug-in sets it once after building.
    void setChannelConstant(float c); // [any]

    float getDepth() const { return depth.load(std::memory_order_relaxed); }         // [any]
    float getPan() const { return pan.load(std::memory_order_relaxed); }             // [any]
    float getPanOffset() const { return panOffset.load(std::memory_order_relaxed); } // [any]
    float getChannelConstant() const                                                 // [any]
    {
        return channelConstant.load(std::memory_order_relaxed);
    }
    const zksp_smoother_lag_processor& getEnvelope() const { return envelope; } // [any]

private:
    void storePanOffset(float p); // [any]

    zksp_smoother_lag_processor envelope;
    std::atomic<float> depth{0.0f};
    std::atomic<float> channelConstant{0.0f};
    std::atomic<float> panOffset{0.5f};
    std::atomic<float> pan{0.5f};
    // What the per-sample level needs, kept by the setters: 1 - depth and 1 - panOffset^2.
    std::atomic<float> depthFactor{1.0f};
    std::atomic<float> panGain{0.75f};
};

inline float CVCAEngine::processGated(float x, float gate) // [audio]
{
    float level = depthFactor.load(std::memory_order_relaxed) * (1.0f - gate) + gate;
    level = level * panGain.load(std::memory_order_relaxed);
    const float e = envelope.process(level);
    return e * x;
}

inline CVCAEngine::PairKernel::PairKernel(CVCAEngine& l, CVCAEngine& r, int n,
                                          float gate) // [audio]
{
    // The level depends on the sample only through the envelope: computed once per engine, and
    // the gains of the stretch are the envelopes' values.
    auto levelOf = [gate](const CVCAEngine& e) {
        const float level = e.depthFactor.load(std::memory_order_relaxed) * (1.0f - gate) + gate;
        return level * e.panGain.load(std::memory_order_relaxed);
    };
    zksp_smoother_lag_processor::processRunPair(l.envelope, r.envelope, levelOf(l), levelOf(r),
                                                gains[0], gains[1], n);
}
