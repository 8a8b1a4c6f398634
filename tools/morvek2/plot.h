// The picture of a render: input and output envelopes over time with bar lines and, for
// Morvek2, the six lanes of the program laid out against the bars, with the values and gates a
// reset re-rolled drawn as they played. Drawn with Cairo into a PNG.
#pragma once

#include "tools/morvek2/lanes.h"
#include "tools/morvek2/render.h"

#include <optional>
#include <string>

namespace morvek2::cli {

struct PlotInfo
{
    std::string title;    // module and program
    std::string subtitle; // input, tempo, signature
    double startPpq = 0.0;
    double bpm = 120.0;
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    bool stopped = false;
    std::optional<ProgramLanes> lanes;
};

// Columns of the envelopes the plot expects (its drawing width).
int plotColumns();

// Draws into `path` (the pending file's name); throws Error(Exit::Output) if Cairo fails.
void drawPlot(const std::string& path, const RenderReport& report, const PlotInfo& info);

// Gives back the font caches that Cairo and fontconfig keep for the life of the process, so
// that leak checkers see a clean exit. Only at the very end, when no drawing follows.
void releaseDrawingCaches();

} // namespace morvek2::cli
