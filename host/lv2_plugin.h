// Loading an LV2 plug-in from its bundle folder through lilv and driving one instance of it.
#pragma once

#include "host/instance.h"

#include <functional>
#include <memory>
#include <string>

namespace morvek2::host {

// What an LV2 host tells a plug-in about the transport. Hosts send a time:Position only when
// something changes (the first block, a jump, a start or stop, a new tempo or signature) and the
// plug-in runs on by itself in between; some send one every block; some send none at all.
enum class Lv2Positions { OnChange, EveryBlock, Never };

// How parameter i's normalised value becomes its port's plain value and back, when the plug-in
// defines that better than its port range does.
struct Lv2ValueMapping
{
    std::function<float(int32_t index, float normalised)> toPlain;
    std::function<float(int32_t index, float plain)> toNormalised;
};

// The bundle is loaded by its path (not through LV2_PATH). The host gives urid:map and unmap,
// options (block lengths, sample rate) and bounded block lengths; controls are the control input
// ports in port order (parameter i is the i-th of them), converted between the port's range and
// 0..1 linearly (logarithmically for a logarithmic port; integers and toggles snap) unless a
// mapping is set. Programs
// are the plug-in's presets in URI order; the program chunk is the plug-in's state:interface
// property `programKey` (the whole saved state's first property when that is empty). There is
// no bank: getChunk(false) is empty and setChunk(false, ...) refused.
class Lv2Plugin final : public Instance
{
public:
    // The plug-in of the bundle at `bundlePath`: the one with `uri`, or, when `uri` is empty,
    // the bundle's only one. Null with the reason in `error`.
    static std::unique_ptr<Lv2Plugin> load(const std::string& bundlePath, std::string& error,
                                           const std::string& uri = {});
    ~Lv2Plugin() override;

    // The state property that holds a program (set before getChunk/setChunk).
    void setProgramKey(const std::string& uri);
    void setPositions(Lv2Positions positions);
    void setValueMapping(Lv2ValueMapping mapping);
    // How many time:Position objects process() has sent so far.
    int64_t positionsSent() const;

    Format format() const override { return Format::Lv2; }
    const std::string& path() const override;
    int32_t uniqueId() const override { return 0; }
    std::string uri() const override;
    int32_t version() const override { return 0; }

    int32_t numInputs() const override;
    int32_t numOutputs() const override;
    int32_t numParams() const override;
    int32_t numPrograms() const override;
    bool isInstrument() const override;
    bool programChunks() const override;

    std::string effectName() override;
    std::string productString() override;

    // Instantiates and activates. A second call with another rate or a larger block makes a
    // new instance carrying the program chunk and the control values over.
    void start(float sampleRate, int32_t maxBlock) override;
    int32_t blockSize() const override;
    Transport& transport() override;

    float getParameter(int32_t index) override;
    void setParameter(int32_t index, float normalised) override;
    std::string parameterName(int32_t index) override;
    std::string parameterLabel(int32_t index) override;
    // The port's value as a host shows it: the scale point's label, On/Off, or the number.
    std::string parameterDisplay(int32_t index) override;
    // The control port value itself (in the port's own unit), and writing one.
    float plainValue(int32_t index) const;
    void setPlainValue(int32_t index, float value);

    int32_t program() override;
    // Restores the index-th preset (lilv_state_restore: its port values and its state).
    void setProgram(int32_t index) override;
    std::string programName() override;
    void setProgramName(const std::string& name) override;
    std::optional<std::string> programNameIndexed(int32_t index) override;
    std::vector<uint8_t> getChunk(bool program) override;
    intptr_t setChunk(bool program, std::span<const uint8_t> data) override;

    void sendMidi(MidiEventList& events) override;
    void process(float* const* inputs, float* const* outputs, int32_t frames) override;

    struct Impl;

private:
    explicit Lv2Plugin(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace morvek2::host
