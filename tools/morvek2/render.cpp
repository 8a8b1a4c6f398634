#include "tools/morvek2/render.h"

#include "host/render.h"
#include "tools/morvek2/errors.h"
#include "tools/morvek2/progress.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace morvek2::cli {

Envelope::Envelope(std::int64_t totalFrames, int columns)
    : totalFrames_(std::max<std::int64_t>(totalFrames, 1)),
      low_(static_cast<std::size_t>(std::max(columns, 1)), 0.0f), high_(low_.size(), 0.0f),
      touched_(low_.size(), 0)
{}

void Envelope::add(std::int64_t firstFrame, const std::vector<std::vector<float>>& channels,
                   std::size_t frames)
{
    for (const std::vector<float>& channel : channels) {
        addChannel(firstFrame, channel, frames);
    }
}

void Envelope::addChannel(std::int64_t firstFrame, const std::vector<float>& channel,
                          std::size_t frames)
{
    const auto count = static_cast<std::int64_t>(low_.size());
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int64_t frame = firstFrame + static_cast<std::int64_t>(f);
        const auto column = static_cast<std::size_t>(
            std::clamp<std::int64_t>(frame * count / totalFrames_, 0, count - 1));
        float s = channel[f];
        if (!std::isfinite(s)) {
            s = 0.0f; // drawn as silence; the WAV keeps the real value
        }
        if (!touched_[column]) {
            low_[column] = high_[column] = s;
            touched_[column] = 1;
        } else {
            low_[column] = std::min(low_[column], s);
            high_[column] = std::max(high_[column], s);
        }
    }
}

float Envelope::peak() const
{
    float peak = 0.0f;
    for (std::size_t i = 0; i < low_.size(); ++i) {
        peak = std::max({peak, std::fabs(low_[i]), std::fabs(high_[i])});
    }
    return peak;
}

std::vector<int32_t> blockSizesFor(const Options& options)
{
    if (!options.irregularBlocks) {
        return {options.blockSize};
    }
    std::vector<int32_t> sizes = host::hostLikeBlockSizes();
    for (int32_t& n : sizes) {
        n = std::min(n, options.blockSize);
    }
    return sizes;
}

void setUpTransport(host::Instance& plugin, const Options& options, double sampleRate)
{
    host::Transport& transport = plugin.transport();
    transport.setSampleRate(sampleRate);
    transport.setTempo(options.bpm);
    transport.setTimeSignature(options.timeSigNumerator, options.timeSigDenominator);
    transport.locate(options.startPpq);
    transport.setPlaying(!options.stopped);
}

void routeInput(const std::vector<float>& interleaved, int sourceChannels, std::size_t frames,
                std::vector<std::vector<float>>& inputs)
{
    const auto src = static_cast<std::size_t>(sourceChannels);
    for (std::size_t c = 0; c < inputs.size(); ++c) {
        std::vector<float>& channel = inputs[c];
        channel.assign(frames, 0.0f);
        if (c >= 2) {
            continue; // side-chain and other extra inputs stay silent
        }
        for (std::size_t f = 0; f < frames; ++f) {
            if (inputs.size() == 1 && src == 2) {
                // A stereo file into a mono effect: the mix of both sides.
                channel[f] = 0.5f * (interleaved[2 * f] + interleaved[2 * f + 1]);
            } else {
                // A mono file feeds every input; a stereo file its two sides.
                channel[f] = interleaved[f * src + std::min(c, src - 1)];
            }
        }
    }
}

int outputChannelsFor(const host::Instance& plugin)
{
    return std::clamp(plugin.numOutputs(), 1, 2);
}

RenderReport renderSource(Session& session, AudioSource& source, WavWriter& writer,
                          const Options& options, int plotColumns)
{
    host::Instance& plugin = session.plugin();
    const double rate = source.sampleRate();
    setUpTransport(plugin, options, rate);

    const std::vector<int32_t> sizes = blockSizesFor(options);
    // Whole cycles of block sizes per pass, so the sequence of blocks runs on across passes
    // exactly as in one long render; about a second per pass.
    const std::int64_t cycle = std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
    const std::int64_t perPass = cycle * std::max<std::int64_t>(1, std::llround(rate / cycle));

    const auto tailFrames = static_cast<std::int64_t>(std::llround(options.tailSeconds * rate));
    const std::int64_t expected = std::max<std::int64_t>(source.frames(), 0) + tailFrames;
    const int sourceChannels = source.channels();
    const int outChannels = outputChannelsFor(plugin);

    RenderReport report{0,
                        0,
                        rate,
                        outChannels,
                        Envelope(expected, plotColumns),
                        Envelope(expected, plotColumns),
                        std::vector<Envelope>(2, Envelope(expected, plotColumns)),
                        std::vector<Envelope>(2, Envelope(expected, plotColumns)),
                        std::nullopt,
                        std::nullopt,
                        {}};
    if (options.plot) {
        report.inputSpectrum.emplace(expected, plotColumns, rate);
        report.outputSpectrum.emplace(expected, plotColumns, rate);
    }
    // A reset re-rolls a lane's values or gates and writes them into the current program, so
    // the program read after every block tells which steps played. (The positions of a random
    // lane are not written back: those lanes stay laid out in step order.)
    std::optional<ProgramLanes> played;
    if (options.plot && session.isMorvek2()) {
        played = lanesFromRecord(plugin.getChunk(true));
    }
    std::int64_t blockStart = 0;
    const auto notePlayed = [&](std::int64_t nextBlock) {
        if (!played) {
            return;
        }
        const std::optional<ProgramLanes> now = lanesFromRecord(plugin.getChunk(true));
        if (!now) {
            return;
        }
        bool changed = false;
        for (std::size_t m = 0; m < 6; ++m) {
            changed = changed || std::memcmp(now->lanes[m].steps, played->lanes[m].steps,
                                             sizeof played->lanes[m].steps) != 0;
        }
        if (changed) {
            played = now;
            report.playedLanes.push_back({blockStart, now->lanes});
        }
        blockStart = nextBlock;
    };
    const auto addSides = [&](std::vector<Envelope>& sides, const host::AudioChannels& audio,
                              std::int64_t first, std::size_t frames) {
        for (std::size_t side = 0; side < sides.size() && !audio.empty(); ++side) {
            sides[side].addChannel(first, audio[std::min(side, audio.size() - 1)], frames);
        }
    };
    std::vector<float> interleaved(static_cast<std::size_t>(perPass * sourceChannels));
    host::AudioChannels inputs(static_cast<std::size_t>(plugin.numInputs()));
    std::vector<float> outInterleaved;
    host::InstanceRenderOptions renderOptions;
    renderOptions.blockSizes = sizes;

    Progress progress(expected);
    std::int64_t done = 0;
    bool sourceEnded = false;
    std::int64_t total = -1; // known once the source has ended
    while (total < 0 || done < total) {
        std::size_t got = 0;
        if (!sourceEnded) {
            got = source.read(interleaved.data(), static_cast<std::size_t>(perPass));
            if (got < static_cast<std::size_t>(perPass)) {
                sourceEnded = true;
                report.inputFrames = done + static_cast<std::int64_t>(got);
                total = report.inputFrames + tailFrames;
            }
        }
        const auto frames = static_cast<std::size_t>(
            total < 0 ? perPass : std::min<std::int64_t>(perPass, total - done));
        if (frames == 0) {
            break;
        }
        std::fill(interleaved.begin() + static_cast<std::ptrdiff_t>(got * sourceChannels),
                  interleaved.begin() + static_cast<std::ptrdiff_t>(frames * sourceChannels), 0.0f);
        routeInput(interleaved, sourceChannels, frames, inputs);
        report.input.add(done, inputs, frames);
        addSides(report.inputSides, inputs, done, frames);
        if (report.inputSpectrum) {
            report.inputSpectrum->add(inputs, frames);
        }

        renderOptions.beforeBlock = [&](host::Instance&, int64_t first, int32_t) {
            if (first > 0) {
                notePlayed(done + first);
            }
            progress.update(done + first);
        };
        host::AudioChannels outputs;
        try {
            outputs = host::render(plugin, inputs, renderOptions);
        } catch (const std::invalid_argument& e) {
            fail(Exit::Failure, std::string("render failed: ") + e.what());
        }
        notePlayed(done + static_cast<std::int64_t>(frames));
        outputs.resize(static_cast<std::size_t>(outChannels));
        report.output.add(done, outputs, frames);
        addSides(report.outputSides, outputs, done, frames);
        if (report.outputSpectrum) {
            report.outputSpectrum->add(outputs, frames);
        }

        outInterleaved.resize(frames * static_cast<std::size_t>(outChannels));
        for (std::size_t f = 0; f < frames; ++f) {
            for (int c = 0; c < outChannels; ++c) {
                outInterleaved[f * outChannels + c] = outputs[static_cast<std::size_t>(c)][f];
            }
        }
        writer.write(outInterleaved.data(), frames);
        done += static_cast<std::int64_t>(frames);
    }
    progress.finish();
    report.totalFrames = done;
    return report;
}

} // namespace morvek2::cli
