// Where the host's transport stands at the first sample of a block, in the core's own terms.
// Hosts differ in what they tell, so each part says whether the host gave it; the face of each
// plug-in format fills in what its host reported.
#pragma once

struct Morvek2Transport
{
    // False when the host said nothing at all this block: the lanes hold, as when stopped.
    bool present = false;
    bool playing = false;
    // Quarter notes per minute.
    double tempo = 0.0;
    bool tempoPresent = false;
    // Quarter notes since the start of the song.
    double position = 0.0;
    bool positionPresent = false;
    // Samples since the start of the song.
    double samplePosition = 0.0;
    bool samplePositionPresent = false;
    // Time signature, e.g. 6/8.
    int numerator = 4;
    int denominator = 4;
    bool signaturePresent = false;
    // Quarter notes at the start of the bar the block begins in.
    double barStart = 0.0;
    bool barStartPresent = false;
};
