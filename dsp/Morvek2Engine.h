#pragma once

#include "dsp/zksp_block.h"

// Base of the six module engines. With one output the processing loop calls processGated once
// per sample, in chain order, with the module's current gate level; with two it runs each
// engine class's pair kernel (below). An engine owns its inner blocks by value; its own base
// fields (rate, period) are not read by its processing.
class Morvek2Engine : public zksp_block
{
public:
    // Processes one sample of one channel; gate is the module's smoothed gate level 0..1.
    virtual float processGated(float x, float gate) = 0; // [audio]

    // Every engine class E also has a PairKernel: built at the start of a stretch (the frames
    // between two control ticks, at most kMaxKernelFrames) from the two channels' engines, n and
    // the gate level, then step(xl, xr) once per frame in order, then finish(), which writes
    // its states back. It gives each channel the bits processGated gives sample by sample, and
    // touches no other engine, so the loop may interleave the frames of the six modules' kernels.
    // E::processStretchPair(l, r, xl, xr, n, gate) is the kernel's loop on its own.
    static constexpr int kMaxKernelFrames = 32;
};
