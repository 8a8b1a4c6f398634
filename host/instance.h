// One plug-in instance whatever its format: what renders, analyses and the command line need.
#pragma once

#include "host/host_callback.h"
#include "host/transport.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morvek2::host {

class MidiEventList;
class Plugin;

// Parameters are numbered from 0 and take normalised values (0..1) in every format: a format with
// plain values converts on the way in and out. Like Plugin, an Instance enforces no call order
// and belongs to its callers' threads: the processing calls from one audio thread, the rest from
// one other thread, never both at once.
class Instance
{
public:
    enum class Format { Vst2, Lv2, Vst3, Clap };

    virtual ~Instance() = default;
    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    virtual Format format() const = 0;
    // The module file or bundle folder it was loaded from.
    virtual const std::string& path() const = 0;
    // The VST 2.4 unique ID (0 for formats without one) and the LV2 plug-in URI (empty for
    // formats without one).
    virtual int32_t uniqueId() const = 0;
    virtual std::string uri() const = 0;
    virtual int32_t version() const = 0;
    // The underlying VST 2.4 instance, or null for another format.
    virtual Plugin* vst2() { return nullptr; }

    virtual int32_t numInputs() const = 0;
    virtual int32_t numOutputs() const = 0;
    virtual int32_t numParams() const = 0;
    virtual int32_t numPrograms() const = 0;
    virtual bool isInstrument() const = 0;
    // Whether getChunk/setChunk carry the plug-in's own state (rather than nothing).
    virtual bool programChunks() const = 0;

    virtual std::string effectName() = 0;
    virtual std::string productString() = 0;

    // Sample rate and the largest block to come, then processing may start.
    virtual void start(float sampleRate, int32_t maxBlock) = 0;
    virtual int32_t blockSize() const = 0;
    virtual Transport& transport() = 0;

    virtual float getParameter(int32_t index) = 0;
    virtual void setParameter(int32_t index, float normalised) = 0;
    virtual std::string parameterName(int32_t index) = 0;
    virtual std::string parameterLabel(int32_t index) = 0;
    virtual std::string parameterDisplay(int32_t index) = 0;

    virtual int32_t program() = 0;
    virtual void setProgram(int32_t index) = 0;
    virtual std::string programName() = 0;
    virtual void setProgramName(const std::string& name) = 0;
    virtual std::optional<std::string> programNameIndexed(int32_t index) = 0;
    // `program` true: the current program only; false: the whole bank (empty where the format
    // has none). setChunk answers 1 when the plug-in took the data.
    virtual std::vector<uint8_t> getChunk(bool program) = 0;
    virtual intptr_t setChunk(bool program, std::span<const uint8_t> data) = 0;

    // MIDI for the coming block only; the list stays the caller's. [audio]
    virtual void sendMidi(MidiEventList& events) = 0;
    // One host block, the transport describing it, then the transport moves on by `frames`.
    // [audio]
    virtual void process(float* const* inputs, float* const* outputs, int32_t frames) = 0;
};

// A VST3 bundle (a path ending in ".vst3"), a CLAP file (a path ending in ".clap"; its first
// plug-in), a VST 2.4 module file or an LV2 bundle folder (a directory, or a path ending in ".lv2";
// the bundle's plug-in, or the one named `lv2Uri` when the bundle holds several). Null with the
// reason in `error` when it cannot be used. `config` is what a VST 2.4 plug-in gets answered.
std::unique_ptr<Instance> loadInstance(const std::string& path, std::string& error,
                                       HostConfig config = {}, const std::string& lv2Uri = {});

} // namespace morvek2::host
