#include "host/render.h"

#include <algorithm>
#include <stdexcept>

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

AudioChannels render(Plugin& plugin, const AudioChannels& input, const RenderOptions& options)
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

    // The host's own buffers: the caller's input is never handed to the plug-in.
    const auto numIn = static_cast<std::size_t>(std::max(plugin.numInputs(), 0));
    AudioChannels in(numIn, std::vector<float>(frames, 0.0f));
    for (std::size_t c = 0; c < numIn && c < input.size(); ++c) {
        std::copy(input[c].begin(), input[c].end(), in[c].begin());
    }
    AudioChannels out(numOut, std::vector<float>(frames, 0.0f));
    // A zero-length channel still needs a valid pointer.
    std::vector<float> spare(1, 0.0f);
    std::vector<float*> inPtrs(std::max<std::size_t>(numIn, 1));
    std::vector<float*> outPtrs(std::max<std::size_t>(numOut, 1));

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
                plugin.sendEvents(list.events());
            }
        }
        for (std::size_t c = 0; c < inPtrs.size(); ++c) {
            inPtrs[c] = c < numIn ? in[c].data() + done : spare.data();
        }
        for (std::size_t c = 0; c < outPtrs.size(); ++c) {
            outPtrs[c] = c < numOut ? out[c].data() + done : spare.data();
        }
        plugin.process(inPtrs.data(), outPtrs.data(), n);
        done += static_cast<std::size_t>(n);
    } while (done < frames);
    return out;
}

} // namespace morvek2::host
