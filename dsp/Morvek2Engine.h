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
};
