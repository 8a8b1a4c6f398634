#pragma once

#include "dsp/zksp_block.h"

// Base of the six module engines. The processing loop calls processGated once per sample
// and channel, in chain order, with the module's current gate level. An engine owns its
// inner blocks by value; its own base fields (rate, period) are not read by its
// processing.
class Morvek2Engine : public zksp_block
{
public:
    // Processes one sample of one channel; gate is the module's smoothed gate level 0..1.
    virtual float processGated(float x, float gate) = 0; // [audio]

    // The longest stretch a pair kernel takes (the loop's control interval).
    static constexpr int kMaxKernelFrames = 32;

    // Every engine class also has
    //   static void processStretchPair(E& left, E& right, float* xl, float* xr, int n, float gate)
    // which runs the two channels' engines over n samples in place with the bits processGated
    // gives each of them sample by sample; the loop calls it between two control ticks. This
    // is that function for an engine with nothing better to do than go sample by sample.
    template <class Engine>
    static void processStretchBySample(Engine& l, Engine& r, float* xl, float* xr, int n,
                                       float gate) // [audio]
    {
        for (int i = 0; i < n; ++i) {
            xl[i] = l.Engine::processGated(xl[i], gate);
            xr[i] = r.Engine::processGated(xr[i], gate);
        }
    }
};
