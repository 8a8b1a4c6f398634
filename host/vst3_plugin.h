// Loading a VST3 bundle and driving the first audio-effect class of its module.
#pragma once

#include "host/instance.h"

#include <memory>
#include <string>

namespace morvek2::host {

// The bundle "Name.vst3" (its module Contents/<arch>/Name.so) or a module file itself. The host
// gives the plug-in a minimal host application, stereo buses, 32-bit processing, a process context
// from transport() and the parameter changes set since the last block at offset 0 (as a VST 2.4
// host's setParameter calls arrive before its block). Programs are the values of the controller's
// program-change parameter; the program chunk is the component's state. There is no bank:
// getChunk(false) is empty and setChunk(false, ...) refused. Only plug-ins whose component is
// also the edit controller are supported.
class Vst3Plugin final : public Instance
{
public:
    static std::unique_ptr<Vst3Plugin> load(const std::string& path, std::string& error);
    ~Vst3Plugin() override;

    Format format() const override { return Format::Vst3; }
    const std::string& path() const override;
    int32_t uniqueId() const override { return 0; }
    // The plug-in class ID as 32 hexadecimal digits, as hosts show it.
    std::string uri() const override;
    int32_t version() const override { return 0; }

    int32_t numInputs() const override { return 2; }
    int32_t numOutputs() const override { return 2; }
    int32_t numParams() const override;
    int32_t numPrograms() const override;
    bool isInstrument() const override { return false; }
    bool programChunks() const override { return true; }

    std::string effectName() override;
    std::string productString() override;

    void start(float sampleRate, int32_t maxBlock) override;
    int32_t blockSize() const override;
    Transport& transport() override;

    float getParameter(int32_t index) override;
    void setParameter(int32_t index, float normalised) override;
    std::string parameterName(int32_t index) override;
    std::string parameterLabel(int32_t index) override;
    std::string parameterDisplay(int32_t index) override;

    int32_t program() override;
    void setProgram(int32_t index) override;
    std::string programName() override;
    void setProgramName(const std::string& name) override;
    std::optional<std::string> programNameIndexed(int32_t index) override;
    std::vector<uint8_t> getChunk(bool program) override;
    intptr_t setChunk(bool program, std::span<const uint8_t> data) override;

    void sendMidi(MidiEventList& events) override;
    void process(float* const* inputs, float* const* outputs, int32_t frames) override;

    // A change of parameter `id` (any ID the controller lists: the program-change parameter and
    // hidden ones too) at frame `offset` of the next block only, as a host's automation reaches
    // the processor; calls for one parameter come in the order of their offsets.
    void changeAt(std::uint32_t id, double normalised, int32_t offset);
    std::uint32_t programParameter() const;
    // What the plug-in sent back through the last block's output parameter changes.
    struct Change
    {
        std::uint32_t id;
        int32_t offset;
        double value;
    };
    std::vector<Change> outputChanges() const;
    // The controller's calls to the component handler so far: restartComponent (how many, and
    // all the flags given) and performEdit.
    int32_t restarts(int32_t& flags) const;
    int32_t edits() const;

    struct State;

private:
    Vst3Plugin();
    std::unique_ptr<State> s_;
};

} // namespace morvek2::host
