// A VST 2.4 plug-in seen as a format-neutral Instance: every answer is the Plugin's own.
#pragma once

#include "host/instance.h"
#include "host/plugin.h"

namespace morvek2::host {

class Vst2Instance final : public Instance
{
public:
    explicit Vst2Instance(std::unique_ptr<Plugin> plugin) : plugin_(std::move(plugin)) {}

    Format format() const override { return Format::Vst2; }
    const std::string& path() const override { return plugin_->module().path(); }
    int32_t uniqueId() const override { return plugin_->uniqueId(); }
    std::string uri() const override { return {}; }
    int32_t version() const override { return plugin_->version(); }
    Plugin* vst2() override { return plugin_.get(); }

    int32_t numInputs() const override { return plugin_->numInputs(); }
    int32_t numOutputs() const override { return plugin_->numOutputs(); }
    int32_t numParams() const override { return plugin_->numParams(); }
    int32_t numPrograms() const override { return plugin_->numPrograms(); }
    bool isInstrument() const override { return (plugin_->flags() & effFlagsIsSynth) != 0; }
    bool programChunks() const override { return (plugin_->flags() & effFlagsProgramChunks) != 0; }

    std::string effectName() override { return plugin_->effectName(); }
    std::string productString() override { return plugin_->productString(); }

    void start(float sampleRate, int32_t maxBlock) override
    {
        plugin_->start(sampleRate, maxBlock);
    }
    int32_t blockSize() const override { return plugin_->blockSize(); }
    Transport& transport() override { return plugin_->transport(); }

    float getParameter(int32_t index) override { return plugin_->getParameter(index); }
    void setParameter(int32_t index, float value) override { plugin_->setParameter(index, value); }
    std::string parameterName(int32_t index) override { return plugin_->parameterName(index); }
    std::string parameterLabel(int32_t index) override { return plugin_->parameterLabel(index); }
    std::string parameterDisplay(int32_t index) override
    {
        return plugin_->parameterDisplay(index);
    }

    int32_t program() override { return plugin_->program(); }
    void setProgram(int32_t index) override { plugin_->setProgram(index); }
    std::string programName() override { return plugin_->programName(); }
    void setProgramName(const std::string& name) override { plugin_->setProgramName(name); }
    std::optional<std::string> programNameIndexed(int32_t index) override
    {
        return plugin_->programNameIndexed(index);
    }
    std::vector<uint8_t> getChunk(bool program) override { return plugin_->getChunk(program); }
    intptr_t setChunk(bool program, std::span<const uint8_t> data) override
    {
        return plugin_->setChunk(program, data);
    }

    void sendMidi(MidiEventList& events) override;
    void process(float* const* inputs, float* const* outputs, int32_t frames) override
    {
        plugin_->process(inputs, outputs, frames);
    }

private:
    std::unique_ptr<Plugin> plugin_;
};

} // namespace morvek2::host
