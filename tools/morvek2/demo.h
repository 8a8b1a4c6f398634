// The built-in demo: eight bars of drums and a pad, synthesised in code so that the first
// render needs nothing to download.
#pragma once

#include <vector>

namespace morvek2::cli {

struct DemoSpec
{
    double sampleRate = 44100.0;
    double bpm = 120.0; // quarter notes per minute
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    int bars = 8;
};

// Interleaved stereo, exactly `bars` bars long. The same settings always gives the same samples.
std::vector<float> synthesizeDemo(const DemoSpec& settings);

} // namespace morvek2::cli
