#include "host/render.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace morvek2::host {

// ---- MidiEventList ------------------------------------------------------------------------------

namespace {
constexpr std::size_t kHeaderWords = offsetof(VstEvents, events) / sizeof(VstIntPtr);
static_assert(offsetof(VstEvents, events) % sizeof(VstIntPtr) == 0);
} // namespace

MidiEventList::MidiEventList(std::size_t capacity)
    : midi_(capacity), words_(kHeaderWords + std::max<std::size_t>(capacity, 2), 0)
{}

bool MidiEventList::add(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2)
{
    if (size_ >= midi_.size()) {
        return false;
    }
    VstMidiEvent& e = midi_[size_];
    e = VstMidiEvent{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = deltaFrames;
    e.midiData[0] = status;
    e.midiData[1] = data1;
    e.midiData[2] = data2;
    words_[kHeaderWords + size_] = reinterpret_cast<VstIntPtr>(&e);
    ++size_;
    return true;
}

void MidiEventList::clear()
{
    size_ = 0;
}

VstEvents* MidiEventList::events()
{
    auto* list = reinterpret_cast<VstEvents*>(words_.data());
    list->numEvents = static_cast<VstInt32>(size_);
    list->reserved = 0;
    return list;
}

// ---- Rendering ----------------------------------------------------------------------------------

std::vector<int32_t> hostLikeBlockSizes()
{
    return {512, 1, 31, 32, 33, 0, 511, 17, 63, 64, 2, 3, 1024, 256, 100, 0, 7, 480};
}

namespace {

void deliver(Plugin& plugin, MidiEventList& list)
{
    plugin.sendEvents(list.events());
}

void deliver(Instance& instance, MidiEventList& list)
{
    instance.sendMidi(list);
}

template <class Target>
AudioChannels renderBlocks(Target& plugin, const AudioChannels& input,
                           const BasicRenderOptions<Target>& options)
{
    std::vector<int32_t> sizes = options.blockSizes;
    if (sizes.empty()) {
        sizes.push_back(plugin.blockSize());
    }
    if (std::any_of(sizes.begin(), sizes.end(), [](int32_t n) { return n < 0; }) ||
        std::none_of(sizes.begin(), sizes.end(), [](int32_t n) { return n > 0; })) {
        throw std::invalid_argument("render: block sizes must be >= 0 with at least one > 0");
    }

    std::size_t frames = 0;
    for (const auto& channel : input) {
        frames = std::max(frames, channel.size());
    }
    const auto numOut = static_cast<std::size_t>(std::max(plugin.numOutputs(), 0));
    if (frames == 0) {
        return AudioChannels(numOut);
    }

    // Each block goes through block-sized buffers of the host's own, followed by guard samples:
    // a plug-in that writes past the frames it was given corrupts a real host's heap, and in
    // one long buffer the next block would silently overwrite the damage.
    constexpr std::size_t kGuard = 16;
    constexpr float kGuardValue = -12345.678f;
    const auto numIn = static_cast<std::size_t>(std::max(plugin.numInputs(), 0));
    const int32_t largest = *std::max_element(sizes.begin(), sizes.end());
    const std::size_t blockRoom = static_cast<std::size_t>(largest) + kGuard;
    AudioChannels in(std::max<std::size_t>(numIn, 1), std::vector<float>(blockRoom));
    AudioChannels scratch(std::max<std::size_t>(numOut, 1), std::vector<float>(blockRoom));
    AudioChannels out(numOut, std::vector<float>(frames, 0.0f));
    std::vector<float*> inPtrs(in.size());
    std::vector<float*> outPtrs(scratch.size());
    for (std::size_t c = 0; c < in.size(); ++c) {
        inPtrs[c] = in[c].data();
    }
    for (std::size_t c = 0; c < scratch.size(); ++c) {
        outPtrs[c] = scratch[c].data();
    }

    std::vector<TimedMidi> midi = options.midi;
    std::stable_sort(midi.begin(), midi.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    MidiEventList list(std::max<std::size_t>(midi.size(), 1));
    std::size_t nextMidi = 0;

    std::size_t done = 0;
    std::size_t turn = 0;
    do {
        const int32_t wanted = sizes[turn++ % sizes.size()];
        const auto n = static_cast<int32_t>(std::min<std::size_t>(wanted, frames - done));
        const auto un = static_cast<std::size_t>(n);
        if (options.beforeBlock) {
            options.beforeBlock(plugin, static_cast<int64_t>(done), n);
        }
        if (n > 0) {
            list.clear();
            while (nextMidi < midi.size() &&
                   midi[nextMidi].frame < static_cast<int64_t>(done) + n) {
                const TimedMidi& m = midi[nextMidi++];
                const int64_t delta = std::max<int64_t>(m.frame - static_cast<int64_t>(done), 0);
                list.add(static_cast<int32_t>(delta), m.status, m.data1, m.data2);
            }
            if (list.size() > 0) {
                deliver(plugin, list);
            }
        }
        for (std::size_t c = 0; c < in.size(); ++c) {
            std::fill(in[c].begin(), in[c].end(), kGuardValue);
            if (c < input.size()) {
                const std::size_t have =
                    input[c].size() > done ? std::min(un, input[c].size() - done) : 0;
                std::copy_n(input[c].begin() + static_cast<std::ptrdiff_t>(done), have,
                            in[c].begin());
                std::fill_n(in[c].begin() + static_cast<std::ptrdiff_t>(have), un - have, 0.0f);
            } else {
                std::fill_n(in[c].begin(), un, 0.0f);
            }
        }
        for (auto& channel : scratch) {
            std::fill_n(channel.begin(), un, 0.0f);
            std::fill(channel.begin() + static_cast<std::ptrdiff_t>(un), channel.end(),
                      kGuardValue);
        }
        plugin.process(inPtrs.data(), outPtrs.data(), n);
        for (const auto* channels : {&in, &scratch}) {
            for (const auto& channel : *channels) {
                for (std::size_t i = un; i < channel.size(); ++i) {
                    if (channel[i] != kGuardValue) {
                        throw std::runtime_error(
                            "render: the plug-in wrote past the end of a " + std::to_string(n) +
                            "-frame block (" + (channels == &in ? "input" : "output") +
                            " buffer, " + std::to_string(i - un + 1) + " samples beyond)");
                    }
                }
            }
        }
        for (std::size_t c = 0; c < numOut; ++c) {
            std::copy_n(scratch[c].begin(), un, out[c].begin() + static_cast<std::ptrdiff_t>(done));
        }
        done += un;
    } while (done < frames);
    return out;
}

} // namespace

AudioChannels render(Plugin& plugin, const AudioChannels& input, const RenderOptions& options)
{
    return renderBlocks(plugin, input, options);
}

AudioChannels render(Instance& instance, const AudioChannels& input,
                     const InstanceRenderOptions& options)
{
    return renderBlocks(instance, input, options);
}

} // namespace morvek2::host
