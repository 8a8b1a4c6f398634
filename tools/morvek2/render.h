// Rendering an audio source through a module with the simulated transport, into a WAV file,
// while keeping what the plot needs.
#pragma once

#include "tools/morvek2/analysis.h"
#include "tools/morvek2/args.h"
#include "tools/morvek2/audio_io.h"
#include "tools/morvek2/lanes.h"
#include "tools/morvek2/session.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace morvek2::cli {

// Minimum and maximum of all channels per column of a fixed number of columns over the render.
class Envelope
{
public:
    Envelope(std::int64_t totalFrames, int columns);
    void add(std::int64_t firstFrame, const std::vector<std::vector<float>>& channels,
             std::size_t frames);
    void addChannel(std::int64_t firstFrame, const std::vector<float>& channel, std::size_t frames);
    int columns() const { return static_cast<int>(low_.size()); }
    float low(int column) const { return low_[static_cast<std::size_t>(column)]; }
    float high(int column) const { return high_[static_cast<std::size_t>(column)]; }
    bool touched(int column) const { return touched_[static_cast<std::size_t>(column)] != 0; }
    float peak() const;

private:
    std::int64_t totalFrames_;
    std::vector<float> low_;
    std::vector<float> high_;
    std::vector<char> touched_;
};

// The block sizes of a render: --block-size every time, or with --irregular-blocks the host
// library's irregular sequence with every size capped at --block-size.
std::vector<int32_t> blockSizesFor(const Options& options);

// The transport as the options describe it: tempo, signature, start position, playing.
void setUpTransport(host::Instance& plugin, const Options& options, double sampleRate);

// Which source channel feeds each of the plug-in's inputs, and how many channels the output
// file gets (the plug-in's outputs, at most two).
void routeInput(const std::vector<float>& interleaved, int sourceChannels, std::size_t frames,
                std::vector<std::vector<float>>& inputs);
int outputChannelsFor(const host::Instance& plugin);

struct RenderReport
{
    std::int64_t inputFrames = 0;
    std::int64_t totalFrames = 0;
    double sampleRate = 0.0;
    int outputChannels = 0;
    Envelope input;
    Envelope output;
    // The same per side (left, right; a mono side repeats the one channel), for pictures that
    // show the image.
    std::vector<Envelope> inputSides;
    std::vector<Envelope> outputSides;
    // Band levels over time, kept only when a picture is drawn.
    std::optional<Spectrogram> inputSpectrum;
    std::optional<Spectrogram> outputSpectrum;
    // Kept only when a picture of Morvek2 is drawn: the program's lanes each time their steps
    // changed while playing (values and gates re-rolled at a reset), with the first frame of
    // the block in which they changed. Empty when nothing was re-rolled.
    std::vector<PlayedLanes> playedLanes;
};

// The plug-in must be started (Session::start) and its state set. The transport is set up
// here. Writes every output frame to `writer`.
RenderReport renderSource(Session& session, AudioSource& source, WavWriter& writer,
                          const Options& options, int plotColumns);

} // namespace morvek2::cli
