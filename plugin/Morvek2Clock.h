// The lanes' clock as far as the host's transport goes: for each block, where its first sample
// stands in quarter notes, how far each sample moves it, whether it plays, and whether it starts
// (after a stop or a jump) or goes on from the last block. Hosts whose position does not move
// with every block, or that give no position at all, are carried on from where the clock got to.
#pragma once

#include "plugin/Morvek2Transport.h"

#include <cmath>
#include <cstdint>

class Morvek2Clock
{
public:
    static constexpr double kMaxTempo = 1.0e5;

    // Reads what the host reports for a block of `frames` samples at `rate`.
    void beginBlock(const Morvek2Transport& transport, int frames, double rate); // [audio]

    // Positive, finite, not absurdly fast, and not so small that dividing by it overflows.
    static bool usableTempo(double tempo)
    {
        return std::isnormal(tempo) && tempo > 0.0 && tempo <= kMaxTempo;
    }
    // For lengths in samples that extreme tempi or rates could push past the counter's range.
    static std::int32_t truncToCount(double x)
    {
        return x > 0.0 ? static_cast<std::int32_t>(x < 2.0e9 ? x : 2.0e9) : 0;
    }

    // ---- The running block, after beginBlock ----
    double tempo = 120.0;            // last usable tempo (quarter notes per minute)
    float timeSigNumerator = 4.0f;   // of the current block
    float timeSigDenominator = 4.0f; // of the current block
    double blockPosition = 0.0;      // quarter notes at the first sample of the block
    double positionIncrement = 0.0;  // quarter notes per sample
    bool playing = false;
    bool starting = false; // this block's first sample sounds the lanes' steps
    std::int32_t samplesPer64 = 1378;

private:
    // The position of the block's first sample from what the host reports.
    double hostBlockPosition(const Morvek2Transport& transport);

    // Between blocks: where the last playing block left the clock, and what the host said then,
    // to tell steady play from a start or a jump.
    double reachedPosition = 0.0; // position of the sample after the last playing block
    double lastHostPpq = 0.0;     // position of the last block with time information
    double lastSamplePos = 0.0;   // sample position of the last block with time information
    int lastFrames = 0;           // frames of the last block
    bool running = false;         // the last block played, so this one may continue from it
};
