// Rendering whole buffers through a plug-in block by block, as a host's engine does.
#pragma once

#include "host/instance.h"
#include "host/plugin.h"
#include "vst/vst2_abi.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace morvek2::host {

// An event list in the layout effProcessEvents expects, with room fixed at construction so that
// filling it allocates nothing. The list stays valid until the next add() or clear().
class MidiEventList
{
public:
    explicit MidiEventList(std::size_t capacity = 256);
    MidiEventList(const MidiEventList&) = delete;
    MidiEventList& operator=(const MidiEventList&) = delete;

    // A short MIDI message at `deltaFrames` into the coming block; false when the list is full.
    bool add(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2); // [audio]
    void clear();                                                                // [audio]
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return midi_.size(); }
    const VstMidiEvent& operator[](std::size_t i) const { return midi_[i]; }
    VstEvents* events(); // [audio]

private:
    std::vector<VstMidiEvent> midi_;
    // VstEvents is a count, a reserved word and an inline pointer array of any length: kept as
    // pointer-sized words so that it is aligned like the record.
    std::vector<VstIntPtr> words_;
    std::size_t size_ = 0;
};

// A MIDI message at an absolute frame of a render.
struct TimedMidi
{
    int64_t frame = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

// Audio as one vector of samples per channel.
using AudioChannels = std::vector<std::vector<float>>;

// Every member has a default, so designated initialisers may name only what they change.
// `Target` is what beforeBlock is handed: a VST 2.4 Plugin or any Instance.
template <class Target> struct BasicRenderOptions
{
    // Block sizes, repeated in turn until the buffer is done (the last block is cut to what is
    // left). Zero-frame blocks are passed on as hosts do. Empty: the plug-in's block size.
    std::vector<int32_t> blockSizes = {};
    // Delivered with effProcessEvents before the block that contains their frame (events of a
    // zero-frame block wait for the next block with frames). Need not be sorted.
    std::vector<TimedMidi> midi = {};
    // Called before each block with its first frame and length, on the rendering thread: the
    // place to automate parameters or move the transport.
    std::function<void(Target& plugin, int64_t firstFrame, int32_t frames)> beforeBlock = {};
};
using RenderOptions = BasicRenderOptions<Plugin>;
using InstanceRenderOptions = BasicRenderOptions<Instance>;

// An irregular block sequence like the ones real hosts produce (tiny, odd, power-of-two and
// zero-frame blocks), the largest 1024 frames.
std::vector<int32_t> hostLikeBlockSizes();

// Renders `input` (missing channels are silence; all channels are read up to the longest) through
// the plug-in and returns numOutputs() channels of the same length. Each block is processed with
// Plugin::process, so the transport describes each block and moves on by its length. The caller
// starts the plug-in (Plugin::start) first. Each block is handed over in block-sized buffers
// followed by guard samples. Throws std::invalid_argument for a negative block size or a list
// with no positive one, and std::runtime_error when the plug-in writes past a block's end.
AudioChannels render(Plugin& plugin, const AudioChannels& input, const RenderOptions& options = {});
// The same through a plug-in of any format.
AudioChannels render(Instance& instance, const AudioChannels& input,
                     const InstanceRenderOptions& options = {});

} // namespace morvek2::host
